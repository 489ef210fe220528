// Puts a folder on the system PATH or takes it off; the installer and the
// uninstaller run it:
//   system_path add FOLDER      appends FOLDER unless an entry names it already
//   system_path remove FOLDER   removes the entries that name FOLDER
// The value is read and written whole through the registry API, whatever its
// length, in its own type (REG_EXPAND_SZ keeps its %Variables% unexpanded);
// every other entry keeps its text and its place, empty ones and a final ";"
// included. The programs started afterwards learn of the change through
// WM_SETTINGCHANGE.
// Exit status: 0 the PATH changed; 1 nothing to change; 2 a usage error;
// 3 the registry refused.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr wchar_t environment_key[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

struct path_value {
    std::wstring text;
    DWORD type = REG_EXPAND_SZ;  // of a new value
};

std::wstring_view without_final_backslash(std::wstring_view folder) {
    while (folder.size() > 1 && folder.back() == L'\\') folder.remove_suffix(1);
    return folder;
}

// The same folder whatever the letter case and a final backslash.
bool names_folder(std::wstring_view entry, std::wstring_view folder) {
    entry = without_final_backslash(entry);
    folder = without_final_backslash(folder);
    return CompareStringOrdinal(entry.data(), static_cast<int>(entry.size()), folder.data(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring_view> entries_of(std::wstring_view text) {
    std::vector<std::wstring_view> entries;
    for (;;) {
        std::size_t end = text.find(L';');
        entries.push_back(text.substr(0, end));
        if (end == std::wstring_view::npos) return entries;
        text.remove_prefix(end + 1);
    }
}

// A missing value reads as empty.
bool read_path(HKEY key, path_value* value) {
    DWORD size = 0;
    for (;;) {
        DWORD type = 0;
        std::vector<BYTE> data(size + sizeof(wchar_t));
        LSTATUS status = RegQueryValueExW(key, L"Path", nullptr, &type, data.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND) return true;
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return false;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
        value->type = type;
        value->text.assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!value->text.empty() && value->text.back() == L'\0') value->text.pop_back();
        return true;
    }
}

bool write_path(HKEY key, const path_value& value) {
    auto size = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, L"Path", 0, value.type,
                          reinterpret_cast<const BYTE*>(value.text.c_str()), size) == ERROR_SUCCESS;
}

// After a final ";" the folder goes in with one of its own, so that removing
// it gives the value back as it was.
bool add_folder(path_value* value, std::wstring_view folder) {
    for (std::wstring_view entry : entries_of(value->text)) {
        if (names_folder(entry, folder)) return false;
    }
    if (value->text.empty()) {
        value->text = folder;
    } else if (value->text.back() == L';') {
        value->text.append(folder).append(L";");
    } else {
        value->text.append(L";").append(folder);
    }
    return true;
}

bool remove_folder(path_value* value, std::wstring_view folder) {
    std::wstring kept;
    bool removed = false;
    bool first = true;
    for (std::wstring_view entry : entries_of(value->text)) {
        if (names_folder(entry, folder)) {
            removed = true;
            continue;
        }
        if (!first) kept += L';';
        kept.append(entry);
        first = false;
    }
    if (removed) value->text = kept;
    return removed;
}

int edit_path(std::wstring_view verb, std::wstring_view folder) {
    bool add = verb == L"add";
    if ((!add && verb != L"remove") || without_final_backslash(folder).empty()) return 2;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, environment_key, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return 3;
    }
    path_value value;
    int status = 3;
    if (read_path(key, &value)) {
        bool changed = add ? add_folder(&value, folder) : remove_folder(&value, folder);
        status = !changed ? 1 : write_path(key, value) ? 0 : 3;
    }
    RegCloseKey(key);
    if (status == 0) {
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                            reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000,
                            nullptr);
    }
    return status;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 3) return 2;
    int status = edit_path(arguments[1], arguments[2]);
    LocalFree(arguments);
    return status;
}
