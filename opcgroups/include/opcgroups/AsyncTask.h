// Asynchronous reads, writes and refreshes: each request becomes a task that is built
// during the client's call, queued to the server window and run later on the server
// thread, one at a time, or cancelled before it runs.
#pragma once

#include <cstddef>
#include <vector>

#include "corvane/platform/Variant.h"
#include "opcda.h"
#include "opcserver/ServerWindow.h"

namespace corvane::opc {

class TGroupImpl;
class TGroupItemImpl;

// A queued request of one group. Its identity (from the live-object table) is the DA 1.0
// transaction id or the DA 2.0 cancel id handed to the client. While queued it is listed
// in its group's Tasks; cancellation, or the group's destruction, takes it out and marks
// it cancelled, and a cancelled task never touches its group again. The server window
// owns it and destroys it after its message was processed.
class TAsyncTask : public TOpcQueuedTask {
  public:
    ~TAsyncTask() override;
    // Runs the task unless it was cancelled; it leaves its group's Tasks first.
    void RunQueued() override;
    virtual void Execute() = 0;

    // The group dropped the task (Cancel, Cancel2 or the group's destruction).
    void Cancel();

    bool Cancelled = false;
    DWORD TransactionId = 0;  // the client's DA 2.0 transaction id; 0 for DA 1.0
    TGroupImpl& Group;

  protected:
    // Joins the group's Tasks.
    explicit TAsyncTask(TGroupImpl& Group);

  private:
    bool Listed_ = false;
};

// A task over the client's item handles, which are looked up again when it runs.
class TAsyncIOTask : public TAsyncTask {
  public:
    std::vector<OPCHANDLE> ItemArray;

  protected:
    TAsyncIOTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles);
};

// DA 2.0 read from the device, answered by OnReadComplete.
class TAsyncReadTask final : public TAsyncIOTask {
  public:
    TAsyncReadTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles);
    void Execute() override;
};

// DA 1.0 read, answered by a data stream.
class TAsyncReadTask1 final : public TAsyncIOTask {
  public:
    TAsyncReadTask1(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles, DWORD Connection,
                    OPCDATASOURCE Source);
    void Execute() override;

    DWORD Connection;
    OPCDATASOURCE Source;
};

// DA 2.0 write, answered by OnWriteComplete. The values are deep copies made during the
// client's call (a by-reference value is copied with what it refers to, which the
// client may free as soon as the call returns); a value that cannot be copied is that
// item's error when the task runs.
class TAsyncWriteTask : public TAsyncIOTask {
  public:
    TAsyncWriteTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles,
                    const VARIANT* Values);
    void Execute() override;

    std::vector<platform::Variant> Values;
    std::vector<HRESULT> CopyErrors;

  protected:
    // Writes entry Index to the item's device; raises the entry's error.
    void WriteOne(TGroupItemImpl& Item, std::size_t Index);
};

// DA 1.0 write, answered by the write-complete stream.
class TAsyncWriteTask1 final : public TAsyncWriteTask {
  public:
    using TAsyncWriteTask::TAsyncWriteTask;
    void Execute() override;
};

// DA 2.0 refresh of the items that were active at the request, through OnDataChange.
class TRefreshTask : public TAsyncTask {
  public:
    TRefreshTask(TGroupImpl& Group, OPCDATASOURCE Source);
    void Execute() override;
    bool Empty() const { return RefreshItems.empty(); }

    OPCDATASOURCE Source;
    // Identities of the group items; one removed meanwhile is skipped.
    std::vector<DWORD> RefreshItems;
};

// DA 1.0 refresh, through a data stream.
class TRefreshTask1 final : public TRefreshTask {
  public:
    TRefreshTask1(TGroupImpl& Group, OPCDATASOURCE Source, DWORD Connection);
    void Execute() override;

    DWORD Connection;
};

}  // namespace corvane::opc
