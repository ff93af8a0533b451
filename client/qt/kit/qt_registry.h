// The settings store on Linux: each hive is one text file in the user's
// configuration folder, in the registry-export format (reg_text.h). Every
// call reads the file afresh and every change rewrites it atomically (a
// temporary file renamed over it), so several bars and navlet-browser, in one
// process or several, share the store with the last writer winning. The
// files are the user's alone (0600 in a 0700 folder), and the stored
// password lives in the desktop's secret service where one answers.
#pragma once

#include <QString>

#include "client/kit/registry.h"
#include "client/qt/kit/reg_text.h"
#include "client/qt/kit/secret_store.h"

namespace navlet::qt {

class TQtRegistry : public TRegistry {
  public:
    // The hives are `folder`/current_user.reg and `folder`/classes_root.reg.
    // With `secrets` (which must outlive the registry) the secret values go
    // there while it answers; a value an earlier version left in the file
    // moves there on its first read.
    explicit TQtRegistry(QString folder, TSecretStore* secrets = nullptr);
    // The user's configuration folder's "navlet" (XDG_CONFIG_HOME is honoured).
    static QString DefaultFolder();

    std::unique_ptr<TRegistryKey> OpenKey(THive hive, std::string_view path,
                                          TKeyOpen mode) override;

    QString HiveFile(THive hive) const;
    static const char* RootName(THive hive);

    // Loads the whole hive; a missing file is an empty hive. False when the
    // file cannot be read or is not an export text.
    bool Load(THive hive, TRegHive& out) const;
    // Writes the whole hive through a temporary file; the old file stays
    // whole when anything fails.
    bool Save(THive hive, const TRegHive& content) const;
    // Removes the key and every key below it; Ok also when it was not there.
    TRegResult DeleteKeyTree(THive hive, std::string_view path);

    // Whether the value is one kept in the secret service when one answers:
    // the bar's stored password.
    static bool IsSecret(THive hive, std::string_view normalisedPath, std::string_view name);
    TSecretStore* Secrets() const { return secrets; }
    const QString& Folder() const { return folder; }

  private:
    // Files and folder the user's alone, also those an earlier version made
    // readable to others.
    void Tighten(const QString& file) const;

    QString folder;
    TSecretStore* secrets;
};

} // namespace navlet::qt
