#include "client/qt/kit/qt_registry.h"

#include <cstring>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace navlet::qt {

namespace {

// An export text larger than this is not a settings file of ours.
constexpr qint64 MAX_HIVE_FILE = 4 * 1024 * 1024;

// An open key: its hive and path. Each call goes to the file, so a key
// removed meanwhile reads as having no values and is made again by a write.
class TQtRegistryKey : public TRegistryKey {
  public:
    TQtRegistryKey(TQtRegistry& r, THive h, std::string p)
        : registry(r), hive(h), path(std::move(p)) {}

    TRegResult ReadString(std::string_view name, std::string& out) override {
        if (TQtRegistry::IsSecret(hive, path, name)) {
            if (std::optional<TRegResult> r = ReadSecret(name, out))
                return *r;
        }
        TRegValue value;
        const TRegResult r = Read(name, value);
        if (r != TRegResult::Ok)
            return r;
        if (value.type != REG_SZ_TYPE)
            return TRegResult::WrongType;
        out = value.data;
        return TRegResult::Ok;
    }

    TRegResult WriteString(std::string_view name, std::string_view text) override {
        if (TQtRegistry::IsSecret(hive, path, name) && WriteSecret(name, text))
            return TRegResult::Ok;
        return Write(TRegValue{std::string(name), REG_SZ_TYPE, std::string(text)});
    }

    TRegResult ReadInteger(std::string_view name, int32_t& out) override {
        TRegValue value;
        const TRegResult r = Read(name, value);
        if (r != TRegResult::Ok)
            return r;
        if (value.type != REG_DWORD_TYPE || value.data.size() != 4)
            return TRegResult::WrongType;
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | uint8_t(value.data[size_t(i)]);
        out = int32_t(n);
        return TRegResult::Ok;
    }

    TRegResult WriteInteger(std::string_view name, int32_t number) override {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[size_t(i)] = char(uint32_t(number) >> (8 * i) & 0xFF);
        return Write(TRegValue{std::string(name), REG_DWORD_TYPE, bytes});
    }

    TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer, size_t& size) override {
        TRegValue value;
        const TRegResult r = Read(name, value);
        if (r != TRegResult::Ok)
            return r;
        if (value.type != REG_BINARY_TYPE)
            return TRegResult::WrongType;
        size = value.data.size();
        if (value.data.size() > buffer.size())
            return TRegResult::TooLong;
        std::memcpy(buffer.data(), value.data.data(), value.data.size());
        return TRegResult::Ok;
    }

    TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) override {
        return Write(
            TRegValue{std::string(name), REG_BINARY_TYPE,
                      std::string(reinterpret_cast<const char*>(data.data()), data.size())});
    }

  private:
    using TSecret = TSecretStore::TResult;

    std::string SecretName(std::string_view name) const {
        return FoldCase(path) + "\\" + FoldCase(name);
    }

    // The secret service's answer; nothing when it has none to give, and
    // the file is read instead. A value still in the file (an earlier
    // version's, or one kept while no service answered) moves over first.
    std::optional<TRegResult> ReadSecret(std::string_view name, std::string& out) {
        TSecretStore* secrets = registry.Secrets();
        if (!secrets)
            return std::nullopt;
        const std::string folder = registry.Folder().toStdString();
        TRegValue old;
        if (Read(name, old) == TRegResult::Ok && old.type == REG_SZ_TYPE) {
            if (secrets->Write(folder, SecretName(name), old.data) != TSecret::Ok)
                return std::nullopt;
            Erase(name);
            out = old.data;
            return TRegResult::Ok;
        }
        switch (secrets->Read(folder, SecretName(name), out)) {
        case TSecret::Ok:
            return TRegResult::Ok;
        case TSecret::Missing:
            return TRegResult::Missing;
        case TSecret::Unavailable:
            return std::nullopt;
        }
        return std::nullopt;
    }

    // True when the secret service took the value; the file then holds it
    // no more.
    bool WriteSecret(std::string_view name, std::string_view text) {
        TSecretStore* secrets = registry.Secrets();
        if (!secrets || secrets->Write(registry.Folder().toStdString(), SecretName(name),
                                       std::string(text)) != TSecret::Ok)
            return false;
        Erase(name);
        return true;
    }

    void Erase(std::string_view name) {
        TRegHive content;
        if (!registry.Load(hive, content))
            return;
        TRegKeyData* key = content.Find(path);
        if (!key || !key->Find(name))
            return;
        std::erase_if(key->values,
                      [&](const TRegValue& v) { return FoldCase(v.name) == FoldCase(name); });
        registry.Save(hive, content);
    }

    TRegResult Read(std::string_view name, TRegValue& out) {
        TRegHive content;
        if (!registry.Load(hive, content))
            return TRegResult::Failed;
        TRegKeyData* key = content.Find(path);
        TRegValue* value = key ? key->Find(name) : nullptr;
        if (!value)
            return TRegResult::Missing;
        out = *value;
        return TRegResult::Ok;
    }

    TRegResult Write(TRegValue value) {
        TRegHive content;
        if (!registry.Load(hive, content))
            return TRegResult::Failed;
        TRegKeyData& key = content.Create(path);
        if (TRegValue* old = key.Find(value.name)) {
            value.name = old->name; // the name keeps the case it was first written in
            *old = std::move(value);
        } else {
            key.values.push_back(std::move(value));
        }
        return registry.Save(hive, content) ? TRegResult::Ok : TRegResult::Failed;
    }

    TQtRegistry& registry;
    THive hive;
    std::string path;
};

} // namespace

TQtRegistry::TQtRegistry(QString f, TSecretStore* s) : folder(std::move(f)), secrets(s) {}

bool TQtRegistry::IsSecret(THive hive, std::string_view normalisedPath, std::string_view name) {
    return hive == THive::CurrentUser && FoldCase(normalisedPath) == "software\\navlet" &&
           FoldCase(name) == "pwd";
}

void TQtRegistry::Tighten(const QString& file) const {
    constexpr QFileDevice::Permissions folderOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    constexpr QFileDevice::Permissions fileOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QFileInfo folderInfo(folder);
    if (folderInfo.isDir() && folderInfo.permissions() != folderOnly)
        QFile::setPermissions(folder, folderOnly);
    const QFileInfo fileInfo(file);
    if (fileInfo.isFile() && (fileInfo.permissions() & ~fileOnly))
        QFile::setPermissions(file, fileOnly);
}

QString TQtRegistry::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/navlet");
}

QString TQtRegistry::HiveFile(THive hive) const {
    return folder + (hive == THive::CurrentUser ? QStringLiteral("/current_user.reg")
                                                : QStringLiteral("/classes_root.reg"));
}

const char* TQtRegistry::RootName(THive hive) {
    return hive == THive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
}

bool TQtRegistry::Load(THive hive, TRegHive& out) const {
    out.keys.clear();
    QFile file(HiveFile(hive));
    if (!file.exists())
        return true;
    Tighten(file.fileName());
    if (!file.open(QIODevice::ReadOnly) || file.size() > MAX_HIVE_FILE)
        return false;
    const QByteArray bytes = file.read(MAX_HIVE_FILE + 1);
    if (bytes.size() > MAX_HIVE_FILE)
        return false;
    return ParseRegText(std::string_view(bytes.constData(), size_t(bytes.size())), RootName(hive),
                        out);
}

bool TQtRegistry::Save(THive hive, const TRegHive& content) const {
    if (!QDir().mkpath(folder))
        return false;
    Tighten(QString());
    QSaveFile file(HiveFile(hive));
    // The new file is the user's alone before a byte goes in (a saved file
    // otherwise takes the old one's mode).
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const std::string text = FormatRegText(content, RootName(hive));
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::unique_ptr<TRegistryKey> TQtRegistry::OpenKey(THive hive, std::string_view rawPath,
                                                   TKeyOpen mode) {
    // Linux has no low-integrity processes, so no key for them.
    if (hive == THive::CurrentUserLow)
        return nullptr;
    const std::string path = NormalisedKeyPath(rawPath);
    TRegHive content;
    if (!Load(hive, content))
        return nullptr;
    if (!path.empty() && !content.Find(path)) {
        if (mode == TKeyOpen::Existing)
            return nullptr;
        content.Create(path);
        if (!Save(hive, content))
            return nullptr;
    }
    return std::make_unique<TQtRegistryKey>(*this, hive, path);
}

TRegResult TQtRegistry::DeleteKeyTree(THive hive, std::string_view rawPath) {
    const std::string lower = FoldCase(NormalisedKeyPath(rawPath));
    TRegHive content;
    if (!Load(hive, content))
        return TRegResult::Failed;
    const size_t before = content.keys.size();
    std::erase_if(content.keys, [&](const auto& entry) {
        const std::string& key = entry.first;
        return key == lower || key.rfind(lower + "\\", 0) == 0;
    });
    if (content.keys.size() == before)
        return TRegResult::Ok;
    return Save(hive, content) ? TRegResult::Ok : TRegResult::Failed;
}

} // namespace navlet::qt
