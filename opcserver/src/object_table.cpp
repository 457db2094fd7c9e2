// The table of live framework objects behind 32-bit identities.
#include "opcserver/ObjectTable.h"

namespace corvane::opc {

TObjectTable& OpcObjects() {
    static TObjectTable table;
    return table;
}

TOpcObject::TOpcObject() : identity_(OpcObjects().Add(this)) {}

TOpcObject::~TOpcObject() {
    OpcObjects().Remove(identity_);
}

DWORD TObjectTable::Add(TOpcObject* object) {
    std::lock_guard lock(mutex_);
    // Ids wrap after 2^32 - 1 objects; 0 and ids still in use are skipped.
    while (next_ == 0 || objects_.count(next_)) ++next_;
    const DWORD id = next_++;
    objects_[id] = object;
    return id;
}

void TObjectTable::Remove(DWORD id) {
    std::lock_guard lock(mutex_);
    objects_.erase(id);
}

std::size_t TObjectTable::Count() const {
    std::lock_guard lock(mutex_);
    return objects_.size();
}

TOpcObject* TObjectTable::FindObject(DWORD id) const {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(id);
    return it == objects_.end() ? nullptr : it->second;
}

}  // namespace corvane::opc
