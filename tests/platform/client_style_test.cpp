// Code written the way a Windows OPC DA client is written, including only the two OPC
// headers: it must compile here and keep the published binary layouts.
#include "opcda.h"
#include "opcerror.h"

#include <cstddef>

#include <gtest/gtest.h>

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(HRESULT) == 4);
static_assert(sizeof(BOOL) == 4 && sizeof(LCID) == 4 && sizeof(OPCHANDLE) == 4);
static_assert(sizeof(WCHAR) == 2 && sizeof(OLECHAR) == 2 && sizeof(VARTYPE) == 2);
static_assert(sizeof(FILETIME) == 8 && alignof(FILETIME) == 4);
static_assert(sizeof(GUID) == 16 && sizeof(VARIANT) == 24);
// The 64-bit Windows layouts of the OPC structures.
static_assert(sizeof(OPCITEMDEF) == 48 && offsetof(OPCITEMDEF, vtRequestedDataType) == 40);
static_assert(sizeof(OPCITEMRESULT) == 24 && offsetof(OPCITEMRESULT, pBlob) == 16);
static_assert(sizeof(OPCITEMSTATE) == 40 && offsetof(OPCITEMSTATE, ftTimeStamp) == 4);
static_assert(offsetof(OPCITEMSTATE, vDataValue) == 16);
static_assert(sizeof(OPCITEMATTRIBUTES) == 80 && offsetof(OPCITEMATTRIBUTES, vEUInfo) == 56);
static_assert(sizeof(OPCSERVERSTATUS) == 56 && offsetof(OPCSERVERSTATUS, szVendorInfo) == 48);
static_assert(offsetof(OPCSERVERSTATUS, wMajorVersion) == 36);
static_assert(sizeof(OPCGROUPHEADER) == 20 && sizeof(OPCITEMHEADER1) == 20);
static_assert(sizeof(OPCITEMHEADER2) == 12 && sizeof(OPCGROUPHEADERWRITE) == 16);
static_assert(sizeof(OPCITEMHEADERWRITE) == 8);
static_assert(sizeof(FORMATETC) == 32 && sizeof(STGMEDIUM) == 24 && sizeof(STATDATA) == 56);
static_assert(sizeof(CONNECTDATA) == 16 && sizeof(CATEGORYINFO) == 276);
static_assert(offsetof(SAFEARRAY, pvData) == 16 && offsetof(SAFEARRAY, rgsabound) == 24);
static_assert(OPC_E_BADTYPE == (HRESULT)0xC0040004L && OPC_S_INUSE == 0x0004000F);

namespace {

class CDataCallback : public IOPCDataCallback {
  public:
    ULONG refs = 1;
    DWORD changes = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IOPCDataCallback) {
            *ppv = static_cast<IOPCDataCallback*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                           OPCHANDLE*, VARIANT* pvValues, WORD* pwQualities,
                                           FILETIME*, HRESULT*) override {
        for (DWORD i = 0; i < dwCount; ++i)
            if ((pwQualities[i] & OPC_QUALITY_MASK) == OPC_QUALITY_GOOD &&
                V_VT(&pvValues[i]) == VT_BOOL)
                ++changes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                             VARIANT*, WORD*, FILETIME*, HRESULT*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                              HRESULT*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

// The usual client sequence; compiled in full, run against whatever server is registered.
HRESULT ConnectAndSubscribe(REFCLSID clsid, CDataCallback* sink) {
    IOPCServer* pServer = NULL;
    HRESULT hr =
        CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IOPCServer, (void**)&pServer);
    if (FAILED(hr)) return hr;

    OPCHANDLE hServerGroup = 0;
    DWORD dwRevisedRate = 0;
    FLOAT deadband = 0.0f;
    IOPCItemMgt* pItemMgt = NULL;
    hr = pServer->AddGroup(u"Group1", TRUE, 500, 1, NULL, &deadband, LOCALE_SYSTEM_DEFAULT,
                           &hServerGroup, &dwRevisedRate, IID_IOPCItemMgt, (LPUNKNOWN*)&pItemMgt);
    if (SUCCEEDED(hr)) {
        OPCITEMDEF def = {};
        def.szAccessPath = (LPWSTR)u"";
        def.szItemID = (LPWSTR)u"Motor1";
        def.bActive = TRUE;
        def.hClient = 7;
        def.vtRequestedDataType = VT_EMPTY;
        OPCITEMRESULT* pResults = NULL;
        HRESULT* pErrors = NULL;
        hr = pItemMgt->AddItems(1, &def, &pResults, &pErrors);
        if (SUCCEEDED(hr)) {
            CoTaskMemFree(pResults);
            CoTaskMemFree(pErrors);
        }
        IConnectionPointContainer* pCPC = NULL;
        if (SUCCEEDED(pItemMgt->QueryInterface(IID_IConnectionPointContainer, (void**)&pCPC))) {
            IConnectionPoint* pCP = NULL;
            if (SUCCEEDED(pCPC->FindConnectionPoint(IID_IOPCDataCallback, &pCP))) {
                DWORD dwCookie = 0;
                pCP->Advise(sink, &dwCookie);
                pCP->Release();
            }
            pCPC->Release();
        }
        pItemMgt->Release();
        pServer->RemoveGroup(hServerGroup, FALSE);
    }
    OPCSERVERSTATUS* pStatus = NULL;
    if (SUCCEEDED(pServer->GetStatus(&pStatus)) && pStatus) {
        CoTaskMemFree(pStatus->szVendorInfo);
        CoTaskMemFree(pStatus);
    }
    LPWSTR text = NULL;
    if (SUCCEEDED(pServer->GetErrorString(OPC_E_UNKNOWNITEMID, LOCALE_SYSTEM_DEFAULT, &text)))
        CoTaskMemFree(text);
    pServer->Release();
    return hr;
}

}  // namespace

TEST(ClientStyle, CompilesAndFindsNoServerWhenNoneIsRegistered) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    const CLSID clsid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    CDataCallback sink;
    EXPECT_EQ(ConnectAndSubscribe(clsid, &sink), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(sink.refs, 1u);
    CoUninitialize();
}

TEST(ClientStyle, VariantsAreHandledAsOnWindows) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(u"Motor1");
    EXPECT_EQ(SysStringLen(V_BSTR(&v)), 6u);
    VARIANT b;
    VariantInit(&b);
    EXPECT_EQ(VariantChangeType(&b, &v, 0, VT_BOOL), DISP_E_TYPEMISMATCH);
    V_VT(&b) = VT_BOOL;
    V_BOOL(&b) = VARIANT_TRUE;
    EXPECT_EQ(VariantChangeType(&v, &b, 0, VT_I4), S_OK);
    EXPECT_EQ(V_VT(&v), VT_I4);
    EXPECT_EQ(V_I4(&v), -1);
    VariantClear(&v);
    VariantClear(&b);
}

TEST(ClientStyle, InterfaceIdsCompareByValue) {
    IID copy = IID_IOPCServer;
    EXPECT_TRUE(IsEqualIID(copy, IID_IOPCServer));
    EXPECT_FALSE(copy == IID_IOPCItemMgt);
    EXPECT_EQ(IID_IOPCShutdown.Data1, 0xF31DFDE1u);
    EXPECT_EQ(CATID_OPCDAServer20.Data1, 0x63D5F432u);
}

namespace {

// Records which method a call through a raw vtable slot reached.
class CSlotProbe : public IOPCAsyncIO2 {
  public:
    int called = -1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return called = 0, S_OK; }
    ULONG STDMETHODCALLTYPE AddRef() override { return called = 1, 1; }
    ULONG STDMETHODCALLTYPE Release() override { return called = 2, 1; }
    HRESULT STDMETHODCALLTYPE Read(DWORD, OPCHANDLE*, DWORD, DWORD*, HRESULT**) override {
        return called = 3, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD, OPCHANDLE*, VARIANT*, DWORD, DWORD*,
                                    HRESULT**) override {
        return called = 4, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE, DWORD, DWORD*) override {
        return called = 5, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD) override { return called = 6, S_OK; }
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL) override { return called = 7, S_OK; }
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL*) override { return called = 8, S_OK; }
};

}  // namespace

TEST(ClientStyle, MethodsSitInTheirPublishedSlots) {
    static_assert(sizeof(IOPCAsyncIO2) == sizeof(void*), "an interface holds only its vtable");
    CSlotProbe probe;
    IOPCAsyncIO2* itf = &probe;
    void** vtable = *reinterpret_cast<void***>(itf);
    using Refresh2Fn = HRESULT (*)(IOPCAsyncIO2*, OPCDATASOURCE, DWORD, DWORD*);
    using Cancel2Fn = HRESULT (*)(IOPCAsyncIO2*, DWORD);
    DWORD cancel = 0;
    reinterpret_cast<Refresh2Fn>(vtable[5])(itf, OPC_DS_CACHE, 1, &cancel);
    EXPECT_EQ(probe.called, 5);
    reinterpret_cast<Cancel2Fn>(vtable[6])(itf, 1);
    EXPECT_EQ(probe.called, 6);
    itf->Refresh(OPC_DS_DEVICE, 2, &cancel);  // the DA 2.0 spelling reaches the same slot
    EXPECT_EQ(probe.called, 5);
}
