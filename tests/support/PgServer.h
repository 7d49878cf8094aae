#pragma once
// The PostgreSQL server the test command starts (tools/pg-server.sh): its
// URI in CORVEXLINK_TEST_PG. Each test takes a database of its own.

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace cvl::test {

// The server's URI, or nothing when the tests run without one.
inline std::optional<std::string> pgServer() {
    const char* uri = std::getenv("CORVEXLINK_TEST_PG");
    if (uri == nullptr || uri[0] == '\0') return std::nullopt;
    return std::string(uri);
}

// The same server, another database: "postgresql:///NAME?host=...".
inline std::string databaseUri(const std::string& server, const std::string& name) {
    const auto slash = server.find('/', std::string("postgresql://").size());
    return server.substr(0, slash + 1) + name + server.substr(server.find('?'));
}

// Each row's first column, as text ("" for NULL); nothing when the statement fails.
inline std::optional<std::vector<std::string>> pgColumn(const std::string& uri, const std::string& sql) {
    PGconn* conn = PQconnectdb(uri.c_str());
    std::optional<std::vector<std::string>> out;
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult* r = PQexec(conn, sql.c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK) {
            out.emplace();
            for (int i = 0; i < PQntuples(r); ++i) out->push_back(PQgetvalue(r, i, 0));
        }
        PQclear(r);
    }
    PQfinish(conn);
    return out;
}

// A new, empty database on the server, dropped first if an earlier run left it.
inline std::optional<std::string> freshDatabase(const std::string& server, const std::string& name) {
    if (!pgColumn(server, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)") ||
        !pgColumn(server, "CREATE DATABASE " + name))
        return std::nullopt;
    return databaseUri(server, name);
}

}  // namespace cvl::test
