#include "support/RegistryRecorder.h"

#include <algorithm>
#include <iterator>

namespace testkit {

RegistryRecorder::RegistryRecorder() : m_real(settings::RealRegistryApi()) {
    settings::RegistryApi& api = settings::Registry();
    api.CreateKeyEx = [this](HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                             LPSECURITY_ATTRIBUTES attributes, PHKEY result, LPDWORD disposition) {
        RegCall call{"Create", nullptr, root, path ? path : "", reserved, keyClass ? keyClass : "", options, access};
        call.hasAttributes = attributes != nullptr;
        if (attributes) call.attributes = *attributes;
        LONG status = fail ? fail(call) : 0;
        if (status == 0)
            status = m_real.CreateKeyEx(root, path, reserved, keyClass, options, access, attributes, result,
                                        disposition);
        call.key = status == 0 ? *result : nullptr;
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.OpenKeyEx = [this](HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
        RegCall call{"Open", nullptr, root, path ? path : "", 0, "", options, access};
        LONG status = fail ? fail(call) : 0;
        if (status == 0) status = m_real.OpenKeyEx(root, path, options, access, result);
        call.key = status == 0 ? *result : nullptr;
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.QueryValueEx = [this](HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
        RegCall call{"Query", key, nullptr, name ? name : ""};
        call.hasData = data != nullptr;
        call.size = size ? *size : 0;
        call.reserved = reserved ? 1 : 0;
        LONG status = fail ? fail(call) : 0;
        if (status == 0) {
            status = m_real.QueryValueEx(key, name, reserved, type, data, size);
            if (alterQuery) alterQuery(call, type, size);
        }
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.SetValueEx = [this](HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
        RegCall call{"Set", key, nullptr, name ? name : "", reserved};
        call.type = type;
        call.size = size;
        if (data) call.data.assign(data, data + size);
        LONG status = fail ? fail(call) : 0;
        if (status == 0) status = m_real.SetValueEx(key, name, reserved, type, data, size);
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.CloseKey = [this](HKEY key) {
        RegCall call{"Close", key};
        call.status = m_real.CloseKey(key);
        calls.push_back(call);
        return call.status;
    };
}

RegistryRecorder::~RegistryRecorder() { settings::Registry() = m_real; }

std::vector<RegCall> RegistryRecorder::Of(const std::string& function) const {
    std::vector<RegCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const RegCall& c) { return c.function == function; });
    return out;
}

int RegistryRecorder::OpenedKeys() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const RegCall& c) {
        return (c.function == "Create" || c.function == "Open") && c.status == 0;
    }));
}

int RegistryRecorder::ClosedKeys() const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [](const RegCall& c) { return c.function == "Close"; }));
}

}  // namespace testkit
