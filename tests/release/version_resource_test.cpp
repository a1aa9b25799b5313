// Reads the version resource back from built programs, as Explorer's Properties -> Details
// does, and checks it against the project version the build was configured with.
//
// Usage: version_resource_test VERSION PROGRAM.exe...
// VERSION is MAJOR.MINOR.PATCH. Prints one line per check; exits 1 on any failure.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const std::wstring& what) {
    std::wprintf(L"%ls: %ls\n", ok ? L"PASS" : L"FAIL", what.c_str());
    if (!ok) ++failures;
}

std::wstring BaseName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A string of the first language and code page that the resource lists, or "(none)".
std::wstring StringValue(const std::vector<BYTE>& info, const wchar_t* name) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT size = 0;
    if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translations), &size) ||
        size < sizeof(Translation))
        return L"(no translation)";
    wchar_t key[128];
    std::swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
                  translations[0].codePage, name);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &length) || !value)
        return L"(none)";
    std::wstring text(value, length);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::wstring Dotted(DWORD ms, DWORD ls) {
    return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
           std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
}

// Checks one program; returns its file description.
std::wstring CheckProgram(const std::wstring& path, const std::wstring& version) {
    const std::wstring name = BaseName(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    Check(size > 0, name + L" has a version resource");
    if (size == 0) return {};
    std::vector<BYTE> info(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, info.data())) {
        Check(false, name + L": the version resource can be read");
        return {};
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    const bool haveFixed =
        ::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO) && fixed->dwSignature == 0xFEEF04BD;
    Check(haveFixed, name + L" has fixed version numbers");
    if (haveFixed) {
        const std::wstring file = Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        const std::wstring product = Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        Check(file == version + L".0",
              name + L" file version " + file + L" (want " + version + L".0)");
        Check(product == version + L".0",
              name + L" product version " + product + L" (want " + version + L".0)");
        Check(fixed->dwFileType == VFT_APP, name + L" is marked as an application");
    }

    const auto expect = [&](const wchar_t* key, const std::wstring& want) {
        const std::wstring got = StringValue(info, key);
        Check(got == want, name + L" " + key + L" \"" + got + L"\" (want \"" + want + L"\")");
    };
    expect(L"ProductName", L"Ostrel");
    expect(L"FileVersion", version);
    expect(L"ProductVersion", version);
    expect(L"OriginalFilename", name);
    const std::wstring description = StringValue(info, L"FileDescription");
    Check(!description.empty() && description.front() != L'(',
          name + L" FileDescription \"" + description + L"\"");
    const std::wstring internal = StringValue(info, L"InternalName");
    Check(!internal.empty() && internal.front() != L'(',
          name + L" InternalName \"" + internal + L"\"");
    return description;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: version_resource_test VERSION PROGRAM.exe...\n");
        return 2;
    }
    const std::wstring version = argv[1];
    std::vector<std::wstring> descriptions;
    for (int i = 2; i < argc; ++i) descriptions.push_back(CheckProgram(argv[i], version));
    for (std::size_t i = 0; i < descriptions.size(); ++i)
        for (std::size_t j = i + 1; j < descriptions.size(); ++j)
            Check(descriptions[i] != descriptions[j],
                  L"each program describes itself: \"" + descriptions[i] + L"\"");
    return failures == 0 ? 0 : 1;
}
