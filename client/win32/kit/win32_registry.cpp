#include "client/win32/kit/win32_registry.h"

#include <cstring>
#include <vector>

#include <windows.h>

#include "client/win32/kit/protected_mode.h"

namespace navlet::win32 {

namespace {

// A string value longer than this is not one of the bar's settings.
constexpr DWORD MAX_STRING_VALUE = 1024 * 1024;

TRegResult ResultOf(LSTATUS status) {
    switch (status) {
    case ERROR_SUCCESS:
        return TRegResult::Ok;
    case ERROR_FILE_NOT_FOUND:
        return TRegResult::Missing;
    case ERROR_MORE_DATA:
        return TRegResult::TooLong;
    default:
        return TRegResult::Failed;
    }
}

class TWin32RegistryKey : public TRegistryKey {
  public:
    explicit TWin32RegistryKey(HKEY k) : key(k) {}
    ~TWin32RegistryKey() override { RegCloseKey(key); }

    TRegResult ReadString(std::string_view name, std::string& out) override {
        DWORD type = 0;
        DWORD size = 0;
        const std::string valueName(name);
        LSTATUS status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return ResultOf(status);
        if (type != REG_SZ)
            return TRegResult::WrongType;
        if (size > MAX_STRING_VALUE)
            return TRegResult::Failed;
        std::vector<char> buffer(size_t(size) + 1, '\0');
        status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status != ERROR_SUCCESS)
            return status == ERROR_MORE_DATA ? TRegResult::Failed : ResultOf(status);
        if (type != REG_SZ)
            return TRegResult::WrongType;
        // The stored size may or may not count a terminating zero.
        out.assign(buffer.data(), strnlen(buffer.data(), size));
        return TRegResult::Ok;
    }

    TRegResult WriteString(std::string_view name, std::string_view text) override {
        const std::string value(text);
        return Write(name, REG_SZ, value.c_str(), DWORD(value.size() + 1));
    }

    TRegResult ReadInteger(std::string_view name, int32_t& out) override {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        const std::string valueName(name);
        const LSTATUS status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(&value), &size);
        if (status == ERROR_MORE_DATA)
            return TRegResult::WrongType; // larger than any integer
        if (status != ERROR_SUCCESS)
            return ResultOf(status);
        if (type != REG_DWORD || size != sizeof value)
            return TRegResult::WrongType;
        out = int32_t(value);
        return TRegResult::Ok;
    }

    TRegResult WriteInteger(std::string_view name, int32_t number) override {
        const DWORD value = DWORD(number);
        return Write(name, REG_DWORD, &value, sizeof value);
    }

    TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer, size_t& size) override {
        DWORD type = 0;
        DWORD stored = 0;
        const std::string valueName(name);
        LSTATUS status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &stored);
        if (status != ERROR_SUCCESS)
            return ResultOf(status);
        if (type != REG_BINARY)
            return TRegResult::WrongType;
        size = stored;
        if (stored > buffer.size())
            return TRegResult::TooLong;
        if (stored == 0)
            return TRegResult::Ok;
        status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &stored);
        size = stored;
        return ResultOf(status);
    }

    TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) override {
        return Write(name, REG_BINARY, data.data(), DWORD(data.size()));
    }

  private:
    TRegResult Write(std::string_view name, DWORD type, const void* data, DWORD size) {
        const std::string valueName(name);
        return ResultOf(
            RegSetValueExA(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    }

    HKEY key;
};

// A key under the low-integrity key the platform hands out.
std::unique_ptr<TRegistryKey> OpenLowKey(const std::string& subKey, TKeyOpen mode) {
    const HKEY root = ProtectedModeAnswers().OpenWritableCurrentUser();
    if (!root)
        return nullptr;
    HKEY key = nullptr;
    const LSTATUS status =
        mode == TKeyOpen::Create
            ? RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
            : RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    RegCloseKey(root);
    if (status != ERROR_SUCCESS || !key)
        return nullptr;
    return std::make_unique<TWin32RegistryKey>(key);
}

} // namespace

std::unique_ptr<TRegistryKey> TWin32Registry::OpenKey(THive hive, std::string_view path,
                                                      TKeyOpen mode) {
    if (hive == THive::CurrentUserLow)
        return OpenLowKey(NormalisedKeyPath(path), mode);
    const HKEY root = hive == THive::CurrentUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
    const std::string subKey = NormalisedKeyPath(path);
    HKEY key = nullptr;
    LSTATUS status = ERROR_SUCCESS;
    if (mode == TKeyOpen::Create) {
        status = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    } else {
        status = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key);
        // A key the user may read but not change still serves its values.
        if (status == ERROR_ACCESS_DENIED)
            status = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key);
    }
    if (status != ERROR_SUCCESS || !key)
        return nullptr;
    return std::make_unique<TWin32RegistryKey>(key);
}

} // namespace navlet::win32
