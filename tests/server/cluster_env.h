// The Redis and PostgreSQL servers that scripts/cluster-services.sh started
// for the cluster tests (CTest's navlet_cluster fixture), found through the
// env file named by NAVLET_CLUSTER_ENV; and helpers to stop, restart and
// empty them.
#pragma once

#include <cstdlib>
#include <fstream>
#include <hiredis/hiredis.h>
#include <libpq-fe.h>
#include <optional>
#include <string>
#include <vector>

#include "server/cluster/redis_link.h"

namespace navlet::test {

struct TClusterServices {
    std::string folder;
    std::string redis;    // redis://127.0.0.1:PORT
    std::string postgres; // postgresql://navlet@127.0.0.1:PORT/navlet

    // `action` of scripts/cluster-services.sh: redis-stop, pg-start, ...
#ifdef NAVLET_CLUSTER_SCRIPT
    bool Control(const std::string& action) const {
        std::string command =
            std::string(NAVLET_CLUSTER_SCRIPT) + " " + action + " '" + folder + "' >/dev/null";
        return std::system(command.c_str()) == 0;
    }
#endif

    // Drops every table, so that the next store opens an empty database.
    bool EmptyPostgres() const {
        PGconn* conn = PQconnectdb(postgres.c_str());
        bool ok = PQstatus(conn) == CONNECTION_OK;
        if (ok) {
            PGresult* r = PQexec(conn, "SET client_min_messages = warning; "
                                       "DROP SCHEMA public CASCADE; CREATE SCHEMA public;");
            ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
        }
        PQfinish(conn);
        return ok;
    }

    bool PostgresExec(const std::string& sql) const {
        PGconn* conn = PQconnectdb(postgres.c_str());
        bool ok = PQstatus(conn) == CONNECTION_OK;
        if (ok) {
            PGresult* r = PQexec(conn, sql.c_str());
            ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
        }
        PQfinish(conn);
        return ok;
    }
};

inline bool FlushRedis(const std::string& address) {
    server::TRedisAddress parsed;
    if (!server::ParseRedisAddress(address, parsed))
        return false;
    redisContext* c = redisConnect(parsed.host.c_str(), parsed.port);
    bool ok = c && !c->err;
    if (ok) {
        auto* r = static_cast<redisReply*>(redisCommand(c, "FLUSHALL"));
        ok = r && r->type == REDIS_REPLY_STATUS;
        freeReplyObject(r);
    }
    if (c)
        redisFree(c);
    return ok;
}

// One command with any bytes in its arguments; its integer reply, or -1.
inline long long RedisCommand(const std::string& address, const std::vector<std::string>& args) {
    server::TRedisAddress parsed;
    if (!server::ParseRedisAddress(address, parsed))
        return -1;
    redisContext* c = redisConnect(parsed.host.c_str(), parsed.port);
    long long out = -1;
    if (c && !c->err) {
        std::vector<const char*> argv;
        std::vector<size_t> lengths;
        for (const std::string& arg : args) {
            argv.push_back(arg.data());
            lengths.push_back(arg.size());
        }
        auto* r = static_cast<redisReply*>(
            redisCommandArgv(c, int(args.size()), argv.data(), lengths.data()));
        if (r && r->type == REDIS_REPLY_INTEGER)
            out = r->integer;
        else if (r && r->type == REDIS_REPLY_STATUS)
            out = 0;
        freeReplyObject(r);
    }
    if (c)
        redisFree(c);
    return out;
}

// Nothing when the tests run without the services (NAVLET_CLUSTER_ENV unset).
inline std::optional<TClusterServices> ClusterServices() {
    const char* path = std::getenv("NAVLET_CLUSTER_ENV");
    if (!path || !*path)
        return std::nullopt;
    std::ifstream in(path);
    TClusterServices out;
    out.folder = std::string(path).substr(0, std::string(path).rfind('/'));
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "NAVLET_TEST_REDIS")
            out.redis = value;
        else if (key == "NAVLET_TEST_POSTGRES")
            out.postgres = value;
    }
    if (out.redis.empty() || out.postgres.empty())
        return std::nullopt;
    return out;
}

} // namespace navlet::test
