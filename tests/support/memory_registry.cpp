#include "tests/support/memory_registry.h"

#include <cstring>

#include "protocol/ascii.h"

namespace navlet::testing {

namespace {

std::string Lower(std::string_view text) {
    return FoldCase(text);
}

} // namespace

class TMemoryKey : public TRegistryKey {
  public:
    TMemoryKey(TMemoryRegistry& r, std::string k) : registry(r), key(std::move(k)) {}

    TRegResult ReadString(std::string_view name, std::string& out) override {
        return Read<std::string>("read", name, [&](const std::string& v) {
            out = v;
            return TRegResult::Ok;
        });
    }
    TRegResult WriteString(std::string_view name, std::string_view value) override {
        return Write(name, std::string(value));
    }
    TRegResult ReadInteger(std::string_view name, int32_t& out) override {
        return Read<int32_t>("read", name, [&](int32_t v) {
            out = v;
            return TRegResult::Ok;
        });
    }
    TRegResult WriteInteger(std::string_view name, int32_t value) override {
        return Write(name, value);
    }
    TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer, size_t& size) override {
        return Read<std::vector<uint8_t>>("read", name, [&](const std::vector<uint8_t>& v) {
            if (v.size() > buffer.size())
                return TRegResult::TooLong;
            std::copy(v.begin(), v.end(), buffer.begin());
            size = v.size();
            return TRegResult::Ok;
        });
    }
    TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) override {
        return Write(name, std::vector<uint8_t>(data.begin(), data.end()));
    }

  private:
    TRegResult Injected(const char* verb, std::string_view name) {
        registry.log.push_back(std::string(verb) + " " + std::string(name));
        auto it = registry.failures.find(Lower(name));
        return it == registry.failures.end() ? TRegResult::Ok : it->second;
    }

    template <typename T, typename F>
    TRegResult Read(const char* verb, std::string_view name, F take) {
        if (TRegResult r = Injected(verb, name); r != TRegResult::Ok)
            return r;
        auto& values = registry.keys[key];
        auto it = values.find(Lower(name));
        if (it == values.end())
            return TRegResult::Missing;
        const T* value = std::get_if<T>(&it->second);
        if (!value)
            return TRegResult::WrongType;
        return take(*value);
    }

    TRegResult Write(std::string_view name, TMemoryRegistry::TValue value) {
        if (TRegResult r = Injected("write", name); r != TRegResult::Ok)
            return r;
        registry.keys[key][Lower(name)] = std::move(value);
        return TRegResult::Ok;
    }

    TMemoryRegistry& registry;
    std::string key;
};

std::string TMemoryRegistry::KeyName(THive hive, std::string_view path) {
    const char* root = hive == THive::CurrentUser      ? "hkcu\\"
                       : hive == THive::CurrentUserLow ? "hkcu-low\\"
                                                       : "hkcr\\";
    return root + Lower(path);
}

std::unique_ptr<TRegistryKey> TMemoryRegistry::OpenKey(THive hive, std::string_view path,
                                                       TKeyOpen mode) {
    if (failOpen)
        return nullptr;
    const std::string name = KeyName(hive, path);
    if (!keys.contains(name)) {
        if (mode != TKeyOpen::Create)
            return nullptr;
        keys[name];
    }
    return std::make_unique<TMemoryKey>(*this, name);
}

bool TMemoryRegistry::HasKey(THive hive, std::string_view path) const {
    return keys.contains(KeyName(hive, path));
}

bool TMemoryRegistry::Has(THive hive, std::string_view path, std::string_view name) const {
    return Get(hive, path, name).has_value();
}

std::optional<TMemoryRegistry::TValue> TMemoryRegistry::Get(THive hive, std::string_view path,
                                                            std::string_view name) const {
    auto key = keys.find(KeyName(hive, path));
    if (key == keys.end())
        return std::nullopt;
    auto value = key->second.find(Lower(name));
    if (value == key->second.end())
        return std::nullopt;
    return value->second;
}

void TMemoryRegistry::Set(THive hive, std::string_view path, std::string_view name, TValue value) {
    keys[KeyName(hive, path)][Lower(name)] = std::move(value);
}

void TMemoryRegistry::Remove(THive hive, std::string_view path, std::string_view name) {
    auto key = keys.find(KeyName(hive, path));
    if (key != keys.end())
        key->second.erase(Lower(name));
}

void TMemoryRegistry::FailValue(std::string_view name, TRegResult result) {
    failures[Lower(name)] = result;
}

} // namespace navlet::testing
