// corvane-opc: a command-line OPC DA client. It is written against the standard-shaped
// headers only; the client library makes CoCreateInstance reach the server process.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "objbase.h"
#include "opcda.h"
#include "opcerror.h"
#include "winbase.h"
#include "winuser.h"

namespace {

constexpr char kUsage[] =
    "Usage: corvane-opc [--server PROGID|CLSID] COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  status                     the server's status\n"
    "  browse [MASK]              item ids matching MASK (* and ? wildcards)\n"
    "  properties ITEM            the item's properties and their values\n"
    "  read ITEM...               read items from the device\n"
    "  write ITEM VALUE           write VALUE (converted to the item's type)\n"
    "  watch ITEM... [--rate MS]  print every change until interrupted (Ctrl+C)\n"
    "\n"
    "The server defaults to Corvane.Simulator; it is started when it is not running.\n";

std::atomic<bool> gInterrupted{false};

std::u16string Wide(const char* text) {
    std::u16string out;
    // Item ids are ASCII in practice; anything else passes through byte-wise as UTF-8.
    const std::string s(text);
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        char32_t cp = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) cp = c & (0x3F >> extra);
        ++i;
        for (; extra > 0 && i < s.size(); --extra, ++i) cp = (cp << 6) | (s[i] & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text && *text; ++text) {
        char32_t cp = *text;
        if (cp >= 0xD800 && cp < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*++text - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// A failed call: says which and what the server calls the code, then the exit status.
struct TFailure {
    std::string What;
    HRESULT Code;
};

std::string Describe(IOPCServer* server, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = code;
    if (server) {
        LPWSTR message = nullptr;
        if (SUCCEEDED(server->GetErrorString(hr, LOCALE_SYSTEM_DEFAULT, &message)) && message) {
            text += " (" + Narrow(message) + ")";
            CoTaskMemFree(message);
        }
    } else if (hr == RPC_E_DISCONNECTED) {
        text += " (the server is gone)";
    } else if (hr == REGDB_E_CLASSNOTREG) {
        text += " (no such server: not running and not registered for activation)";
    }
    return text;
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw TFailure{what, hr};
}

std::string Value(const VARIANT& v) {
    if (v.vt == VT_EMPTY) return "(empty)";
    if (v.vt & VT_ARRAY) {
        std::string out = "[";
        LONG low = 0, high = -1;
        SafeArrayGetLBound(v.parray, 1, &low);
        SafeArrayGetUBound(v.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            VARIANT element;
            VariantInit(&element);
            element.vt = v.vt & ~VT_ARRAY;
            if (element.vt == VT_VARIANT) {
                SafeArrayGetElement(v.parray, &i, &element);
            } else {
                SafeArrayGetElement(v.parray, &i, &element.llVal);
            }
            out += (i > low ? ", " : "") + Value(element);
            VariantClear(&element);
        }
        return out + "]";
    }
    VARIANT text;
    VariantInit(&text);
    std::string out = "?";
    if (SUCCEEDED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR)))
        out = Narrow(text.bstrVal);
    VariantClear(&text);
    return out;
}

std::string Quality(WORD q) {
    const char* name = (q & OPC_QUALITY_MASK) == OPC_QUALITY_GOOD        ? "good"
                       : (q & OPC_QUALITY_MASK) == OPC_QUALITY_UNCERTAIN ? "uncertain"
                                                                         : "bad";
    char text[32];
    std::snprintf(text, sizeof text, "%s(0x%02X)", name, q);
    return text;
}

std::string Time(const FILETIME& ft) {
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&ft, &st)) return "-";
    char text[80];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

// Owns an interface pointer of the client's own making.
template <class T>
struct TRef {
    T* p = nullptr;
    TRef() = default;
    TRef(const TRef&) = delete;
    TRef& operator=(const TRef&) = delete;
    ~TRef() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
};

// A group holding the named items, all active; exits through TFailure when an item is
// unknown.
struct TGroup {
    TRef<IUnknown> Unknown;
    OPCHANDLE Handle = 0;
    std::vector<OPCHANDLE> Items;
    std::vector<std::string> Names;
    std::vector<VARTYPE> Types;

    TGroup(IOPCServer* server, const std::vector<std::string>& names, bool active, DWORD rate) {
        DWORD revised = 0;
        Check(server->AddGroup(u"corvane-opc", active, rate, 1, nullptr, nullptr, 0, &Handle,
                               &revised, IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(Unknown.Out())),
              "AddGroup");
        TRef<IOPCItemMgt> items;
        Check(Unknown->QueryInterface(IID_IOPCItemMgt, items.Out()), "IOPCItemMgt");
        std::vector<std::u16string> ids;
        for (const std::string& n : names) ids.push_back(Wide(n.c_str()));
        std::vector<OPCITEMDEF> defs(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            defs[i].szAccessPath = const_cast<LPWSTR>(u"");
            defs[i].szItemID = ids[i].data();
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        const DWORD n = static_cast<DWORD>(defs.size());
        Check(items->AddItems(n, defs.data(), &results, &errors), "AddItems");
        std::string bad;
        HRESULT first = S_OK;
        for (DWORD i = 0; i < n; ++i) {
            Items.push_back(results[i].hServer);
            Types.push_back(results[i].vtCanonicalDataType);
            CoTaskMemFree(results[i].pBlob);
            if (FAILED(errors[i])) {
                bad += (bad.empty() ? "" : ", ") + names[i];
                if (first == S_OK) first = errors[i];
            }
        }
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        Names = names;
        if (!bad.empty()) throw TFailure{"item " + bad, first};
    }
};

int Status(IOPCServer* server) {
    OPCSERVERSTATUS* s = nullptr;
    Check(server->GetStatus(&s), "GetStatus");
    static const char* const kStates[] = {"?",         "running", "failed", "no configuration",
                                          "suspended", "test"};
    std::printf("vendor:      %s\n", Narrow(s->szVendorInfo).c_str());
    std::printf("state:       %s\n",
                s->dwServerState >= 1 && s->dwServerState <= 5 ? kStates[s->dwServerState] : "?");
    std::printf("version:     %u.%u.%u\n", s->wMajorVersion, s->wMinorVersion, s->wBuildNumber);
    std::printf("started:     %s\n", Time(s->ftStartTime).c_str());
    std::printf("now:         %s\n", Time(s->ftCurrentTime).c_str());
    std::printf("last update: %s\n", Time(s->ftLastUpdateTime).c_str());
    std::printf("groups:      %u\n", s->dwGroupCount);
    CoTaskMemFree(s->szVendorInfo);
    CoTaskMemFree(s);
    return 0;
}

int Browse(IOPCServer* server, const char* mask) {
    TRef<IOPCBrowseServerAddressSpace> browse;
    Check(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.Out()),
          "IOPCBrowseServerAddressSpace");
    TRef<IEnumString> names;
    const std::u16string filter = Wide(mask);
    Check(browse->BrowseOPCItemIDs(OPC_FLAT, filter.c_str(), VT_EMPTY, 0, &names.p),
          "BrowseOPCItemIDs");
    if (!names.p) return 0;
    LPOLESTR batch[64];
    ULONG fetched = 0;
    do {
        Check(names->Next(64, batch, &fetched), "IEnumString::Next");
        for (ULONG i = 0; i < fetched; ++i) {
            std::printf("%s\n", Narrow(batch[i]).c_str());
            CoTaskMemFree(batch[i]);
        }
    } while (fetched == 64);
    return 0;
}

int Properties(IOPCServer* server, const char* item) {
    TRef<IOPCItemProperties> props;
    Check(server->QueryInterface(IID_IOPCItemProperties, props.Out()), "IOPCItemProperties");
    std::u16string id = Wide(item);
    DWORD n = 0;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    Check(props->QueryAvailableProperties(id.data(), &n, &ids, &descriptions, &types),
          "QueryAvailableProperties");
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = props->GetItemProperties(id.data(), n, ids, &values, &errors);
    for (DWORD i = 0; i < n; ++i) {
        std::string value = "-";
        if (SUCCEEDED(hr) && values)
            value = SUCCEEDED(errors[i]) ? Value(values[i]) : Describe(server, errors[i]);
        std::printf("%5u  %-28s %s\n", ids[i], Narrow(descriptions[i]).c_str(), value.c_str());
        CoTaskMemFree(descriptions[i]);
        if (values) VariantClear(&values[i]);
    }
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
    Check(hr, "GetItemProperties");
    return 0;
}

int Read(IOPCServer* server, const std::vector<std::string>& names) {
    TGroup group(server, names, FALSE, 1000);
    TRef<IOPCSyncIO> io;
    Check(group.Unknown->QueryInterface(IID_IOPCSyncIO, io.Out()), "IOPCSyncIO");
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    const DWORD n = static_cast<DWORD>(group.Items.size());
    Check(io->Read(OPC_DS_DEVICE, n, group.Items.data(), &states, &errors), "Read");
    int status = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (FAILED(errors[i])) {
            std::fprintf(stderr, "corvane-opc: %s: %s\n", names[i].c_str(),
                         Describe(server, errors[i]).c_str());
            status = 1;
        } else {
            std::printf("%s %s %s %s\n", names[i].c_str(), Value(states[i].vDataValue).c_str(),
                        Quality(states[i].wQuality).c_str(), Time(states[i].ftTimeStamp).c_str());
        }
        VariantClear(&states[i].vDataValue);
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
    return status;
}

int Write(IOPCServer* server, const char* item, const char* text) {
    TGroup group(server, {item}, FALSE, 1000);
    TRef<IOPCSyncIO> io;
    Check(group.Unknown->QueryInterface(IID_IOPCSyncIO, io.Out()), "IOPCSyncIO");
    const std::u16string wide = Wide(text);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(wide.c_str());
    // The server converts to the item's type; "1"/"0" and "true"/"false" reach a Boolean.
    VARIANT typed;
    VariantInit(&typed);
    if (SUCCEEDED(VariantChangeType(&typed, &value, VARIANT_ALPHABOOL, group.Types[0])))
        std::swap(typed, value);
    VariantClear(&typed);
    HRESULT* errors = nullptr;
    const HRESULT hr = io->Write(1, group.Items.data(), &value, &errors);
    VariantClear(&value);
    Check(hr, "Write");
    const HRESULT itemResult = errors[0];
    CoTaskMemFree(errors);
    if (FAILED(itemResult)) throw TFailure{std::string("write ") + item, itemResult};
    return 0;
}

// Prints one line per changed item.
class TPrinter final : public IOPCDataCallback {
  public:
    explicit TPrinter(const std::vector<std::string>& names) : names_(names) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IOPCDataCallback) return E_NOINTERFACE;
        *ppv = static_cast<IOPCDataCallback*>(this);
        return S_OK;
    }
    // Lives on main's stack, longer than any reference the server holds.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD n,
                                           OPCHANDLE* handles, VARIANT* values, WORD* qualities,
                                           FILETIME* times, HRESULT* errors) override {
        for (DWORD i = 0; i < n; ++i) {
            const std::string name = handles[i] < names_.size() ? names_[handles[i]] : "?";
            if (FAILED(errors[i]))
                std::printf("%s %s error 0x%08X\n", Time(times[i]).c_str(), name.c_str(),
                            static_cast<unsigned>(errors[i]));
            else
                std::printf("%s %s %s %s\n", Time(times[i]).c_str(), name.c_str(),
                            Quality(qualities[i]).c_str(), Value(values[i]).c_str());
        }
        std::fflush(stdout);
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

  private:
    const std::vector<std::string>& names_;
};

// The watch loop's window: checks for Ctrl+C and that the server is still there.
IOPCServer* gWatched = nullptr;
LRESULT CALLBACK WatchWindow(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_TIMER) {
        if (gInterrupted) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, w, l);
}
void CALLBACK WatchTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (gInterrupted) PostQuitMessage(0);
    static int ticks = 0;
    // Every second: a server that went away ends the watch with an error.
    if (++ticks % 5 == 0 && gWatched) {
        LCID lcid = 0;
        TRef<IOPCCommon> common;
        if (SUCCEEDED(gWatched->QueryInterface(IID_IOPCCommon, common.Out())) &&
            common->GetLocaleID(&lcid) == RPC_E_DISCONNECTED)
            PostQuitMessage(3);
    }
}

int Watch(IOPCServer* server, const std::vector<std::string>& names, DWORD rate) {
    TGroup group(server, names, TRUE, rate);
    TPrinter printer(group.Names);
    TRef<IConnectionPointContainer> container;
    Check(group.Unknown->QueryInterface(IID_IConnectionPointContainer, container.Out()),
          "IConnectionPointContainer");
    TRef<IConnectionPoint> point;
    Check(container->FindConnectionPoint(IID_IOPCDataCallback, &point.p), "FindConnectionPoint");
    DWORD cookie = 0;
    Check(point->Advise(&printer, &cookie), "Advise");
    std::signal(SIGINT, [](int) { gInterrupted = true; });
    std::signal(SIGTERM, [](int) { gInterrupted = true; });
    WNDCLASSA wc{};
    wc.lpfnWndProc = WatchWindow;
    wc.lpszClassName = "corvane-opc-watch";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    gWatched = server;
    SetTimer(window, 1, 200, WatchTimer);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    KillTimer(window, 1);
    DestroyWindow(window);
    gWatched = nullptr;
    if (msg.message == WM_QUIT && msg.wParam == 3) throw TFailure{"watch", RPC_E_DISCONNECTED};
    point->Unadvise(cookie);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string serverName = "Corvane.Simulator";
    std::vector<std::string> args;
    DWORD rate = 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--server" || a == "--rate") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "corvane-opc: %s needs a value\n%s", a.c_str(), kUsage);
                return 2;
            }
            const std::string value = argv[++i];
            if (a == "--server") {
                serverName = value;
            } else {
                char* end = nullptr;
                const unsigned long ms = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end || ms == 0 || ms > 3600000) {
                    std::fprintf(stderr,
                                 "corvane-opc: --rate wants milliseconds (1-3600000), not %s\n",
                                 value.c_str());
                    return 2;
                }
                rate = static_cast<DWORD>(ms);
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "corvane-opc: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
        args.push_back(a);
    }
    if (args.empty()) {
        std::fprintf(stderr, "corvane-opc: no command given\n%s", kUsage);
        return 2;
    }
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const bool known = command == "status" || command == "browse" || command == "properties" ||
                       command == "read" || command == "write" || command == "watch";
    if (!known) {
        std::fprintf(stderr, "corvane-opc: unknown command %s\n%s", command.c_str(), kUsage);
        return 2;
    }
    if ((command == "status" && !rest.empty()) || (command == "browse" && rest.size() > 1) ||
        (command == "properties" && rest.size() != 1) || (command == "write" && rest.size() != 2) ||
        ((command == "read" || command == "watch") && rest.empty())) {
        std::fprintf(stderr, "corvane-opc: wrong arguments for %s\n%s", command.c_str(), kUsage);
        return 2;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid{};
    const std::u16string wideName = Wide(serverName.c_str());
    if (FAILED(CLSIDFromString(wideName.c_str(), &clsid)) &&
        FAILED(CLSIDFromProgID(wideName.c_str(), &clsid))) {
        std::fprintf(stderr,
                     "corvane-opc: unknown server %s (not a class id, not a registered ProgID)\n",
                     serverName.c_str());
        return 1;
    }
    IOPCServer* server = nullptr;
    int status = 0;
    try {
        Check(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                               reinterpret_cast<void**>(&server)),
              "connecting to the server");
        IOPCCommon* common = nullptr;
        if (SUCCEEDED(server->QueryInterface(IID_IOPCCommon, reinterpret_cast<void**>(&common)))) {
            common->SetClientName(u"corvane-opc");
            common->Release();
        }
        if (command == "status")
            status = Status(server);
        else if (command == "browse")
            status = Browse(server, rest.empty() ? "" : rest[0].c_str());
        else if (command == "properties")
            status = Properties(server, rest[0].c_str());
        else if (command == "read")
            status = Read(server, rest);
        else if (command == "write")
            status = Write(server, rest[0].c_str(), rest[1].c_str());
        else
            status = Watch(server, rest, rate);
    } catch (const TFailure& f) {
        std::fprintf(stderr, "corvane-opc: %s failed: %s\n", f.What.c_str(),
                     Describe(f.Code == RPC_E_DISCONNECTED ? nullptr : server, f.Code).c_str());
        status = 1;
    }
    if (server) server->Release();
    CoUninitialize();
    return status;
}
