// The settings store on Linux: each hive is one text file in the user's
// configuration folder, in the registry-export format (reg_text.h). Every
// call reads the file afresh and every change rewrites it atomically (a
// temporary file renamed over it), so several bars and navlet-browser, in one
// process or several, share the store with the last writer winning.
#pragma once

#include <QString>

#include "client/kit/registry.h"
#include "client/qt/kit/reg_text.h"

namespace navlet::qt {

class TQtRegistry : public TRegistry {
  public:
    // The hives are `folder`/current_user.reg and `folder`/classes_root.reg.
    explicit TQtRegistry(QString folder);
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

  private:
    QString folder;
};

} // namespace navlet::qt
