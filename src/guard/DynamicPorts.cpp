// The TCP dynamic port range as Windows reports it. No Win32 function reads it. Windows documents two
// ways: the WMI class MSFT_NetTCPSetting in root\StandardCimv2 (DynamicPortRangeStartPort and
// DynamicPortRangeNumberOfPorts, https://learn.microsoft.com/previous-versions/windows/desktop/nettcpipprov/msft-nettcpsetting)
// and "netsh int ipv4 show dynamicport tcp". WMI is used: it answers in numbers, where netsh words its
// answer in the system's language and would need a child process. Each instance is one TCP setting
// template (Internet, Datacenter, ...) with its own range; one without a range (Automatic) is skipped,
// and every range found is returned, so a port in any of them is warned about.
//
// WMI is a service, and a call into it can hang (a repository being rebuilt, a stuck provider), with no
// time limit on connecting. So the query runs on a thread of its own, in its own COM apartment, and the
// caller waits for it kWaitMs at most. The query asks for an enumerator that returns at once and reads
// forward only, and waits kRowWaitMs at most for each row. A query still running when the next check comes is
// waited for again instead of being started twice. Nothing comes back when WMI does not answer in time or
// has no such class (Wine has none); the guard then takes Windows' documented default range.

#include <objbase.h>
#include <wbemcli.h>

#include <algorithm>
#include <new>

#include "base/ComValues.h"
#include "base/Handles.h"
#include "guard/Probes.h"

namespace guard {
namespace {

// wbemcli.h: CLSID_WbemLocator and IID_IWbemLocator (the MinGW import libraries do not carry them).
constexpr CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
constexpr IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

constexpr DWORD kWaitMs = 3000;
constexpr long kRowWaitMs = 3000;
// More rows than Windows has templates: a provider that never ends its list is not read for ever.
constexpr int kMostRows = 64;

using Ranges = std::optional<std::vector<PortRange>>;

// COM on the query's own thread, for the thread's life.
class ScopedMultithreadedCom {
public:
    ScopedMultithreadedCom() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ScopedMultithreadedCom() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ScopedMultithreadedCom(const ScopedMultithreadedCom&) = delete;
    ScopedMultithreadedCom& operator=(const ScopedMultithreadedCom&) = delete;
    bool Ready() const { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

// A uint16 or uint32 property; WMI hands both over as VT_I4. Nothing when it is NULL or not a number.
std::optional<long> NumberProperty(IWbemClassObject* row, const wchar_t* name) {
    base::ScopedVariant value;
    if (FAILED(row->Get(name, 0, value.Get(), nullptr, nullptr))) return std::nullopt;
    switch ((*value).vt) {
        case VT_I4: return (*value).lVal;
        case VT_UI4: return static_cast<long>((*value).ulVal);
        case VT_I2: return (*value).iVal;
        case VT_UI2: return (*value).uiVal;
        default: return std::nullopt;
    }
}

std::optional<PortRange> RangeOf(IWbemClassObject* row) {
    const std::optional<long> start = NumberProperty(row, L"DynamicPortRangeStartPort");
    const std::optional<long> count = NumberProperty(row, L"DynamicPortRangeNumberOfPorts");
    if (!start || !count || *start < 1 || *start > 65535 || *count < 1) return std::nullopt;
    const long last = std::min(65535L, *start + *count - 1);
    return PortRange{static_cast<std::uint16_t>(*start), static_cast<std::uint16_t>(last)};
}

// The program sets no process-wide COM security, so each WMI proxy is told to impersonate, as WMI's
// providers need ("Setting the Security on IWbemServices and Other Proxies"). An object that is no
// proxy (Wine's in-process WMI) has nothing to set: that failure is no failure.
void AskToImpersonate(IUnknown* proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

HRESULT Connect(base::ComPtr<IWbemServices>& services) {
    base::ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator, locator.PutVoid());
    if (FAILED(hr)) return hr;
    const base::UniqueBstr space(SysAllocString(L"ROOT\\StandardCimv2"));
    hr = locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Put());
    if (FAILED(hr)) return hr;
    AskToImpersonate(services.Get());
    return S_OK;
}

// On the query's thread: every range the TCP settings report; nothing when WMI does not tell them all.
Ranges QueryRanges() {
    const ScopedMultithreadedCom com;
    base::ComPtr<IWbemServices> services;
    if (!com.Ready() || FAILED(Connect(services))) return std::nullopt;
    const base::UniqueBstr language(SysAllocString(L"WQL"));
    const base::UniqueBstr query(
        SysAllocString(L"SELECT DynamicPortRangeStartPort, DynamicPortRangeNumberOfPorts FROM MSFT_NetTCPSetting"));
    base::ComPtr<IEnumWbemClassObject> rows;
    if (FAILED(services->ExecQuery(language.Get(), query.Get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                   nullptr, rows.Put())))
        return std::nullopt;
    AskToImpersonate(rows.Get());
    std::vector<PortRange> ranges;
    for (int read = 0; read < kMostRows; ++read) {
        base::ComPtr<IWbemClassObject> row;
        ULONG returned = 0;
        const HRESULT hr = rows->Next(kRowWaitMs, 1, row.Put(), &returned);
        // WBEM_S_TIMEDOUT is a success code: rows still missing count as no answer.
        if (FAILED(hr) || hr == WBEM_S_TIMEDOUT) return std::nullopt;
        if (returned == 0) break;  // WBEM_S_FALSE: the end
        if (const std::optional<PortRange> range = RangeOf(row.Get())) ranges.push_back(*range);
    }
    if (ranges.empty()) return std::nullopt;
    return ranges;
}

// One query on its own thread. The thread may outlive the caller's wait (WMI stuck), so the caller and
// the thread each hold a reference; the last one to let go frees it.
struct Query {
    base::UniqueKernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Ranges answer;
    LONG references = 2;

    void Release() {
        if (InterlockedDecrement(&references) == 0) delete this;
    }
    bool Finished() const { return WaitForSingleObject(done.Get(), 0) == WAIT_OBJECT_0; }
};

DWORD WINAPI RunQuery(void* parameter) {
    Query* query = static_cast<Query*>(parameter);
    try {
        query->answer = QueryRanges();
    } catch (...) {
        query->answer.reset();  // out of memory: Windows told nothing
    }
    SetEvent(query->done.Get());
    query->Release();
    return 0;
}

// Starts the query on its own thread unless one still runs, and waits kWaitMs at most for its answer.
// The checks run on one thread (the window's, or the console's), so the last query needs no lock.
Ranges ReadDynamicRanges() {
    static Query* running = nullptr;
    if (running && running->Finished()) {
        running->Release();
        running = nullptr;
    }
    if (!running) {
        Query* query = new (std::nothrow) Query;
        if (!query || !query->done) {
            delete query;
            return std::nullopt;
        }
        // Not waited for at the end: a thread stuck in WMI must not hold up the program, nor its end.
        base::UniqueKernelHandle thread(CreateThread(nullptr, 0, &RunQuery, query, 0, nullptr));
        if (!thread) {
            delete query;
            return std::nullopt;
        }
        running = query;
    }
    if (WaitForSingleObject(running->done.Get(), kWaitMs) != WAIT_OBJECT_0) return std::nullopt;
    return running->answer;
}

}  // namespace

DynamicRangesSeam& DynamicPortRangesCall() {
    static DynamicRangesSeam seam(&ReadDynamicRanges);
    return seam;
}

}  // namespace guard
