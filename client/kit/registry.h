// The settings store: two hives, keys by path, and typed values, with the
// failures the platform's registry has. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace navlet {

// CurrentUserLow is the part of the current user's hive that a process at low
// integrity (the browser's Protected Mode) may write: on Windows the key the
// platform hands out for it, under "Software\\AppDataLow". Platforms without
// such a mode have no key there.
enum class THive { CurrentUser, ClassesRoot, CurrentUserLow };
enum class TKeyOpen { Existing, Create };

enum class TRegResult {
    Ok,
    Missing,   // no value of that name
    WrongType, // the value holds another type than the call asks for
    TooLong,   // binary data larger than the buffer given
    Failed,    // any other failure of the store (access, I/O)
};

// An open key; closed when destroyed. Value names are case-insensitive.
class TRegistryKey {
  public:
    virtual ~TRegistryKey() = default;
    virtual TRegResult ReadString(std::string_view name, std::string& out) = 0;
    virtual TRegResult WriteString(std::string_view name, std::string_view value) = 0;
    virtual TRegResult ReadInteger(std::string_view name, int32_t& out) = 0;
    virtual TRegResult WriteInteger(std::string_view name, int32_t value) = 0;
    // Reads at most buffer.size() bytes; `size` gets the value's length.
    virtual TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer,
                                  size_t& size) = 0;
    virtual TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) = 0;
};

// A key path without the separators a caller may leave at either end
// ("\\Software\\Navlet\\" names the key "Software\\Navlet").
inline std::string NormalisedKeyPath(std::string_view path) {
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return std::string(path);
}

class TRegistry {
  public:
    virtual ~TRegistry() = default;
    // The key at `path` (sub-keys separated by "\"); null when it does not exist
    // and may not be created, or cannot be opened.
    virtual std::unique_ptr<TRegistryKey> OpenKey(THive hive, std::string_view path,
                                                  TKeyOpen mode) = 0;
};

} // namespace navlet
