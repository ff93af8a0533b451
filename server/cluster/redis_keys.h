// What the nodes of a cluster keep in Redis and say on its channels (see
// cluster_node.h): the names, and the records as the service knows them.
// For the files of TClusterNode only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "server/cluster/messages/node_messages.h"
#include "server/core/cluster_link.h"

namespace navlet::server::redis_keys {

inline const std::string PREFIX = "navlet:";
inline const std::string NODES = PREFIX + "nodes";

inline std::string NodeKey(const std::string& id) {
    return PREFIX + "node:" + id;
}
inline std::string NodeSitesKey(const std::string& id) {
    return PREFIX + "node-sites:" + id;
}
inline std::string PresenceKey(const std::string& host) {
    return PREFIX + "presence:" + host;
}
inline std::string LinesKey(const std::string& host) {
    return PREFIX + "lines:" + host;
}
// How long an operator command waits for the other nodes' counts.
inline constexpr int64_t COUNT_WAIT_MS = 1000;
// Lines a site keeps in Redis for newcomers, and how long an idle site's stay.
inline constexpr int KEPT_LINES = 50;
inline const std::string KEPT_LINES_MS = "600000";

inline std::string SiteChannel(const std::string& host) {
    return PREFIX + "site:" + host;
}

inline std::string WhereKey(uint64_t accountId) {
    return PREFIX + "where:" + std::to_string(accountId);
}
inline std::string NodeUsersKey(const std::string& id) {
    return PREFIX + "node-users:" + id;
}
inline const std::string OPERATOR_CHANNEL = PREFIX + "operator";

inline std::string NodeChannel(const std::string& id) {
    return PREFIX + "to:" + id;
}

inline cluster::TUserRecord UserRecord(const TAccount& account) {
    return cluster::TUserRecord{account.id, account.gender, account.nick};
}

inline TAccount FromRecord(const cluster::TUserRecord& record) {
    TAccount out;
    out.id = record.id;
    out.gender = record.gender;
    out.nick = record.nick;
    return out;
}

// The node of a presence hash's field (RemoteKey).
inline std::string FieldNode(const std::string& field) {
    return field.substr(0, field.find(':'));
}

// An entry of a site's presence hash as another node wrote it (its field
// names the record's account), as the user it lists there.
inline bool ReadPresence(const std::string& field, const std::string& bytes, TRemoteUser& out) {
    cluster::TPresenceRecord record;
    if (!cluster::DecodeNodeRecord(bytes, record) ||
        RemoteKey(FieldNode(field), record.user.id) != field)
        return false;
    out = TRemoteUser{field, FieldNode(field), FromRecord(record.user), 0, record.privacy};
    return true;
}

// A count of a node's users on a site; a value no node wrote counts none.
inline size_t ReadSiteUsers(const std::string& bytes) {
    cluster::TSiteUsersRecord record;
    return cluster::DecodeNodeRecord(bytes, record) ? record.users : 0;
}

} // namespace navlet::server::redis_keys
