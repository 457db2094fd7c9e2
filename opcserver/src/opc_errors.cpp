// Exception-to-result conversion and the framework's OPC message table.
#include <new>
#include "opcserver/ComBoundary.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {
namespace {

struct OpcMessage {
    HRESULT code;
    const char* text;
};

// The texts are the program's own, kept as they are (including the short one for
// OPC_E_BADTYPE).
constexpr OpcMessage kMessages[] = {
    {OPC_S_UNSUPPORTEDRATE,
     "The server does not support the requested data rate but will use the closest available "
     "rate."},
    {OPC_S_CLAMP, "A value passed to WRITE was accepted but the output was clamped."},
    {OPC_S_INUSE,
     "The operation cannot be completed because the object still has references that exist."},
    {OPC_E_INVALIDHANDLE, "The value of the handle is invalid."},
    {OPC_E_BADTYPE, "requested data type and the canonical data type."},
    {OPC_E_PUBLIC, "The requested operation cannot be done on a public group."},
    {OPC_E_BADRIGHTS, "The Items AccessRights do not allow the operation."},
    {OPC_E_UNKNOWNITEMID, "The item is no longer available in the server address space."},
    {OPC_E_INVALIDITEMID, "The item definition doesn't conform to the server's syntax."},
    {OPC_E_INVALIDFILTER, "The filter string was not valid."},
    {OPC_E_UNKNOWNPATH, "The item's access path is not known to the server."},
    {OPC_E_RANGE, "The value was out of range."},
    {OPC_E_DUPLICATENAME, "Duplicate name not allowed."},
    {OPC_E_INVALIDCONFIGFILE, "The server's configuration file is an invalid format."},
    {OPC_E_NOTFOUND, "The server could not locate the requested object."},
    {OPC_E_INVALID_PID, "The server does not recognise the passed property ID."},
};

}  // namespace

HRESULT OpcResultOf(const EOpcError& e) {
    return FAILED(e.Code()) ? e.Code() : E_FAIL;
}

const char* OpcErrorText(HRESULT code) {
    for (const auto& m : kMessages)
        if (m.code == code) return m.text;
    return nullptr;
}

std::string InvalidBranchName(const std::string& name) {
    return name + " is an invalid branch name";
}

std::string ClipFormatFailed(const std::string& format) {
    return "Could not register " + format + " clip format";
}

HRESULT CurrentExceptionResult() noexcept {
    try {
        throw;
    } catch (const EOpcError& e) {
        return OpcResultOf(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace corvane::opc
