// The Task Scheduler's objects: ITaskService connected to this computer, the program's folder below the
// root, the one task in it. Registration runs the task as SYSTEM (userId "S-1-5-18" with
// TASK_LOGON_SERVICE_ACCOUNT, whose password must be an empty VARIANT: ITaskFolder::RegisterTask,
// learn.microsoft.com/windows/win32/api/taskschd/nf-taskschd-itaskfolder-registertask). Only
// administrators may register a task with a boot trigger; anyone else gets E_ACCESSDENIED, and then
// nothing is armed.

#include "revert/TaskStore.h"

#include <taskschd.h>
#include <sddl.h>

#include "base/ComApartment.h"
#include "base/ComValues.h"
#include "base/Handles.h"
#include "revert/PendingRevert.h"
#include "revert/Permissions.h"

namespace revert {
namespace {

// taskschd.h's own GUIDs need initguid.h in exactly one unit; these are the same values.
constexpr CLSID kClsidTaskScheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
constexpr IID kIidTaskService = {0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};

base::UniqueBstr Bstr(const std::wstring& text) { return base::UniqueBstr(SysAllocString(text.c_str())); }

HRESULT Connect(base::ComPtr<ITaskService>& service) {
    base::EnsureComApartment();
    HRESULT hr =
        CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService, service.PutVoid());
    if (FAILED(hr)) return hr;
    VARIANT none;
    VariantInit(&none);
    return service->Connect(none, none, none, none);
}

HRESULT Folder(ITaskService* service, const wchar_t* path, base::ComPtr<ITaskFolder>& folder) {
    const base::UniqueBstr name = Bstr(path);
    return service->GetFolder(name.Get(), folder.Put());
}

// Who may do what with the program's task folder and its task: SYSTEM and Administrators everything,
// authenticated users read (status needs only that), nobody else anything.
constexpr const wchar_t* kTaskSecurity = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;AU)";

// An existing folder must let nobody else change the task in it: whoever could, could take the revert
// away, or make SYSTEM run something else.
HRESULT CheckFolder(ITaskFolder* folder) {
    BSTR raw = nullptr;
    const HRESULT hr = folder->GetSecurityDescriptor(DACL_SECURITY_INFORMATION, &raw);
    const base::UniqueBstr sddl(raw);
    // Wine's Task Scheduler does not implement it: nothing can be told there, as nothing runs there.
    if (hr == E_NOTIMPL) return S_OK;
    if (FAILED(hr)) return hr;
    // Running the task counts too: nobody else may start what runs as SYSTEM.
    const std::wstring who = OthersWhoMayChange(raw ? raw : L"", nullptr, FILE_EXECUTE | GENERIC_EXECUTE);
    if (!who.empty()) {
        TaskFolderOpenTo() = who;
        return kTaskFolderNotPrivate;
    }
    return S_OK;
}

VARIANT SddlVariant(const base::UniqueBstr& sddl) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = sddl.Get();  // still owned by `sddl`
    return value;
}

// The program's folder, made when it is not there yet (only SYSTEM and Administrators may change it);
// an existing one is used only when nobody else may.
HRESULT OwnFolder(ITaskService* service, base::ComPtr<ITaskFolder>& folder) {
    if (SUCCEEDED(Folder(service, kTaskFolder, folder))) return CheckFolder(folder.Get());
    base::ComPtr<ITaskFolder> root;
    HRESULT hr = Folder(service, L"\\", root);
    if (FAILED(hr)) return hr;
    const base::UniqueBstr name = Bstr(kTaskFolder);
    const base::UniqueBstr sddl = Bstr(kTaskSecurity);
    hr = root->CreateFolder(name.Get(), SddlVariant(sddl), folder.Put());
    // Made in between by another run: use it, if it is as private.
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
        hr = Folder(service, kTaskFolder, folder);
        if (SUCCEEDED(hr)) hr = CheckFolder(folder.Get());
    }
    return hr;
}

HRESULT Register(const std::wstring& xml) {
    base::ComPtr<ITaskService> service;
    HRESULT hr = Connect(service);
    base::ComPtr<ITaskFolder> folder;
    if (SUCCEEDED(hr)) hr = OwnFolder(service.Get(), folder);
    if (FAILED(hr)) return hr;
    const base::UniqueBstr name = Bstr(kTaskName);
    const base::UniqueBstr text = Bstr(xml);
    const base::UniqueBstr sddl = Bstr(kTaskSecurity);
    base::ScopedVariant user;
    user.Get()->vt = VT_BSTR;
    user.Get()->bstrVal = SysAllocString(L"S-1-5-18");
    VARIANT empty;
    VariantInit(&empty);
    base::ComPtr<IRegisteredTask> task;
    hr = folder->RegisterTask(name.Get(), text.Get(), TASK_CREATE_OR_UPDATE, *user, empty, TASK_LOGON_SERVICE_ACCOUNT,
                              SddlVariant(sddl), task.Put());
    // SCHED_S_SOME_TRIGGERS_FAILED and SCHED_S_BATCH_LOGON_PROBLEM succeed with a task that may never
    // start: only S_OK is a task that will (RegisterTask, "Return value").
    return hr == S_OK ? S_OK : (SUCCEEDED(hr) ? kTaskPartlyRegistered : hr);
}

// The task's registration, or kTaskMissing.
HRESULT Task(base::ComPtr<ITaskService>& service, base::ComPtr<IRegisteredTask>& task) {
    HRESULT hr = Connect(service);
    if (FAILED(hr)) return hr;
    base::ComPtr<ITaskFolder> folder;
    hr = Folder(service.Get(), kTaskFolder, folder);
    if (FAILED(hr)) return hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ? kTaskMissing : hr;
    const base::UniqueBstr name = Bstr(kTaskName);
    hr = folder->GetTask(name.Get(), task.Put());
    return hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ? kTaskMissing : hr;
}

HRESULT Read(std::wstring& xml) {
    base::ComPtr<ITaskService> service;
    base::ComPtr<IRegisteredTask> task;
    HRESULT hr = Task(service, task);
    if (FAILED(hr)) return hr;
    BSTR raw = nullptr;
    hr = task->get_Xml(&raw);
    const base::UniqueBstr text(raw);
    if (SUCCEEDED(hr)) xml.assign(raw ? raw : L"");
    return hr;
}

HRESULT Delete() {
    base::ComPtr<ITaskService> service;
    HRESULT hr = Connect(service);
    if (FAILED(hr)) return hr;
    base::ComPtr<ITaskFolder> folder;
    hr = Folder(service.Get(), kTaskFolder, folder);
    if (FAILED(hr)) return hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) || hr == kTaskMissing ? S_OK : hr;
    const base::UniqueBstr name = Bstr(kTaskName);
    hr = folder->DeleteTask(name.Get(), 0);
    return hr == kTaskMissing || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ? S_OK : hr;
}

}  // namespace

std::wstring& TaskFolderOpenTo() {
    static std::wstring who;
    return who;
}

TaskStore RealTaskStore() { return TaskStore{&Register, &Read, &Delete}; }

TaskStore& TaskStoreCalls() {
    static TaskStore calls = RealTaskStore();
    return calls;
}

}  // namespace revert
