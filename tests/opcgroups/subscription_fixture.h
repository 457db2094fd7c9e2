// A groups fixture with a DA 2.0 callback and DA 1.0 sinks at hand.
#pragma once

#include <deque>

#include "callback_support.h"

namespace corvane::test {

class Subscriptions : public GroupsTest {
  protected:
    static platform::ComPtr<IConnectionPoint> Point(IUnknown* g) {
        platform::ComPtr<IConnectionPointContainer> cpc;
        EXPECT_EQ(g->QueryInterface(IID_IConnectionPointContainer, cpc.PutVoid()), S_OK);
        platform::ComPtr<IConnectionPoint> cp;
        EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.Put()), S_OK);
        return cp;
    }
    static void Connect(IUnknown* g, TestDataCallback& cb) {
        DWORD cookie = 0;
        ASSERT_EQ(Point(g)->Advise(&cb, &cookie), S_OK);
    }
    static HRESULT Disconnect(IUnknown* g) { return Point(g)->Unadvise(1); }
    static platform::ComPtr<IDataObject> Data(IUnknown* g) {
        platform::ComPtr<IDataObject> d;
        EXPECT_EQ(g->QueryInterface(IID_IDataObject, d.PutVoid()), S_OK);
        return d;
    }
    static platform::ComPtr<IOPCAsyncIO2> Async2(IUnknown* g) {
        platform::ComPtr<IOPCAsyncIO2> a;
        EXPECT_EQ(g->QueryInterface(IID_IOPCAsyncIO2, a.PutVoid()), S_OK);
        return a;
    }
    static platform::ComPtr<IOPCAsyncIO> Async1(IUnknown* g) {
        platform::ComPtr<IOPCAsyncIO> a;
        EXPECT_EQ(g->QueryInterface(IID_IOPCAsyncIO, a.PutVoid()), S_OK);
        return a;
    }
    static HRESULT Advise(IUnknown* g, TestAdviseSink& sink, DWORD connection) {
        FORMATETC f = StreamFormat(connection);
        DWORD id = kSentinel;
        const HRESULT hr = Data(g)->DAdvise(&f, 0, &sink, &id);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(id, connection);
        }
        return hr;
    }
    // One update period of the groups made with the default rate.
    void Tick() { Advance(100); }
    // Runs what is queued without letting time pass.
    static void Pump() { platform::ProcessMessages(); }

    // Client objects that outlive the groups (the fixture ends those after the test
    // body), so that a test which stops early leaves no group holding a dead sink.
    TestDataCallback& Callback() { return Callbacks_.emplace_back(); }
    TestAdviseSink& Sink() { return Sinks_.emplace_back(); }

  private:
    std::deque<TestDataCallback> Callbacks_;
    std::deque<TestAdviseSink> Sinks_;
};

}  // namespace corvane::test
