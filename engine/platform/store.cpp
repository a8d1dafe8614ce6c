/*
 * store.cpp - the settings store over SQLite.
 *
 * One connection per process, opened lazily and again whenever the config
 * folder or the process changes (tests switch folders; a forked child must not
 * share its parent's connection). A store that cannot be opened or read acts as
 * an empty one, so the editor always starts with its defaults. A file that is
 * not a database at all is moved aside to "registry.sqlite3.bad" on the first
 * write, so settings can be kept again without destroying what was there.
 */
#include "engine/platform/store.h"
#include "engine/platform/paths.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

static std::mutex storeMutex;
static sqlite3 *db = nullptr;
static std::string dbPath;
static pid_t dbPid = 0;

static const char *kvSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys(root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
    " PRIMARY KEY(root, path));"
    "CREATE TABLE IF NOT EXISTS reg_values(root INTEGER NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB, UNIQUE(root, path, name));";

static void kvCloseLocked() {
    if (db && dbPid == getpid()) sqlite3_close_v2(db);
    db = nullptr;
    dbPath.clear();
}

/* Runs a statement of the opening, retrying while another process holds
 * the lock: switching a new store to WAL can fail with SQLITE_BUSY at once,
 * without the busy handler, when two processes open it together (two
 * copies of the program, or batch workers). Up to ten seconds, like the
 * busy timeout. */
static int kvExecRetrying(sqlite3 *opened, const char *statement) {
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < 200; attempt++) {
        rc = sqlite3_exec(opened, statement, nullptr, nullptr, nullptr);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) return rc;
        usleep(50000);
    }
    return rc;
}

static int kvOpenLocked() {
    std::string folder = kvConfigFolder();
    std::string path = folder + "/registry.sqlite3";
    if (db && dbPath == path && dbPid == getpid()) return SQLITE_OK;
    if (dbPid != getpid()) db = nullptr; /* the parent's connection is not ours */
    kvCloseLocked();
    kvMakeFolderPath(folder, nullptr);
    sqlite3 *opened = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(opened, 10000);
        rc = kvExecRetrying(opened, "PRAGMA journal_mode=WAL;");
    }
    if (rc == SQLITE_OK) rc = kvExecRetrying(opened, kvSchema);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(opened);
        return rc;
    }
    db = opened;
    dbPath = path;
    dbPid = getpid();
    return SQLITE_OK;
}

/* Opens for writing; a file that is not a database is moved aside first. */
static bool kvOpenForWriteLocked() {
    int rc = kvOpenLocked();
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
        std::string path = kvConfigFolder() + "/registry.sqlite3";
        std::rename(path.c_str(), (path + ".bad").c_str());
        unlink((path + "-wal").c_str());
        unlink((path + "-shm").c_str());
        rc = kvOpenLocked();
    }
    return rc == SQLITE_OK;
}

static std::string kvTrimKey(const std::string &key) {
    size_t begin = key.find_first_not_of('\\');
    size_t end = key.find_last_not_of('\\');
    return begin == std::string::npos ? std::string() : key.substr(begin, end - begin + 1);
}

/* A prepared statement that finalizes itself. */
struct KvStatement {
    sqlite3_stmt *stmt = nullptr;
    explicit KvStatement(const char *sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
    ~KvStatement() { sqlite3_finalize(stmt); }
    void text(int index, const std::string &value) {
        sqlite3_bind_text(stmt, index, value.c_str(), -1, SQLITE_TRANSIENT);
    }
    int step() { return stmt ? sqlite3_step(stmt) : SQLITE_ERROR; }
};

static bool kvKeyExistsLocked(int32_t root, const std::string &key) {
    KvStatement query("SELECT 1 FROM reg_keys WHERE root = ?1 AND path = ?2");
    sqlite3_bind_int(query.stmt, 1, root);
    query.text(2, key);
    return query.step() == SQLITE_ROW;
}

static bool kvCreateKeyLocked(int32_t root, const std::string &key) {
    for (size_t at = 0; at != std::string::npos;) {
        at = key.find('\\', at + 1);
        KvStatement insert("INSERT OR IGNORE INTO reg_keys(root, path) VALUES(?1, ?2)");
        sqlite3_bind_int(insert.stmt, 1, root);
        insert.text(2, key.substr(0, at));
        if (insert.step() != SQLITE_DONE) return false;
    }
    return true;
}

int32_t kvStoreKeyExists(int32_t root, const std::string &key) {
    std::lock_guard<std::mutex> lock(storeMutex);
    if (kvOpenLocked() != SQLITE_OK) return 0;
    return kvKeyExistsLocked(root, kvTrimKey(key)) ? 1 : 0;
}

int32_t kvStoreGet(int32_t root, const std::string &key, const std::string &name,
                   KvStoreValue *value) {
    std::lock_guard<std::mutex> lock(storeMutex);
    std::string path = kvTrimKey(key);
    if (kvOpenLocked() != SQLITE_OK || !kvKeyExistsLocked(root, path)) return -1;
    KvStatement query(
        "SELECT type, data FROM reg_values WHERE root = ?1 AND path = ?2 AND name = ?3");
    sqlite3_bind_int(query.stmt, 1, root);
    query.text(2, path);
    query.text(3, name);
    if (query.step() != SQLITE_ROW) return -2;
    value->type = sqlite3_column_int(query.stmt, 0);
    const uint8_t *bytes = static_cast<const uint8_t *>(sqlite3_column_blob(query.stmt, 1));
    value->data.assign(bytes, bytes + sqlite3_column_bytes(query.stmt, 1));
    return 0;
}

int32_t kvStoreCreateKey(int32_t root, const std::string &key) {
    std::lock_guard<std::mutex> lock(storeMutex);
    if (!kvOpenForWriteLocked()) return -1;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return -1;
    bool created = kvCreateKeyLocked(root, kvTrimKey(key));
    sqlite3_exec(db, created ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    return created ? 0 : -1;
}

int32_t kvStoreSet(int32_t root, const std::string &key, const std::string &name, int32_t type,
                   const void *data, int32_t size) {
    std::lock_guard<std::mutex> lock(storeMutex);
    std::string path = kvTrimKey(key);
    if (!kvOpenForWriteLocked()) return -1;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return -1;
    if (!kvCreateKeyLocked(root, path)) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return -1;
    }
    KvStatement upsert("INSERT INTO reg_values(root, path, name, type, data) VALUES(?1,?2,?3,?4,?5)"
                       " ON CONFLICT(root, path, name) DO UPDATE SET type = excluded.type,"
                       " data = excluded.data");
    sqlite3_bind_int(upsert.stmt, 1, root);
    upsert.text(2, path);
    upsert.text(3, name);
    sqlite3_bind_int(upsert.stmt, 4, type);
    sqlite3_bind_blob(upsert.stmt, 5, size > 0 ? data : "", size > 0 ? size : 0, SQLITE_TRANSIENT);
    bool written = upsert.step() == SQLITE_DONE;
    written = written && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!written) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return written ? 0 : -2;
}

int32_t kvStoreDeleteValue(int32_t root, const std::string &key, const std::string &name) {
    std::lock_guard<std::mutex> lock(storeMutex);
    if (kvOpenLocked() != SQLITE_OK) return -1;
    KvStatement remove("DELETE FROM reg_values WHERE root = ?1 AND path = ?2 AND name = ?3");
    sqlite3_bind_int(remove.stmt, 1, root);
    remove.text(2, kvTrimKey(key));
    remove.text(3, name);
    if (remove.step() != SQLITE_DONE) return -1;
    return sqlite3_changes(db) > 0 ? 0 : -1;
}

int32_t kvStoreDeleteKey(int32_t root, const std::string &key) {
    std::lock_guard<std::mutex> lock(storeMutex);
    if (kvOpenLocked() != SQLITE_OK) return -1;
    std::string path = kvTrimKey(key);
    std::string below = path + "\\";
    bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const char *sql : {"DELETE FROM reg_values WHERE root = ?1 AND (path = ?2 OR "
                            "substr(path, 1, length(?3)) = ?3 COLLATE NOCASE)",
                            "DELETE FROM reg_keys WHERE root = ?1 AND (path = ?2 OR "
                            "substr(path, 1, length(?3)) = ?3 COLLATE NOCASE)"}) {
        KvStatement remove(sql);
        sqlite3_bind_int(remove.stmt, 1, root);
        remove.text(2, path);
        remove.text(3, below);
        ok = ok && remove.step() == SQLITE_DONE;
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return ok ? 0 : -1;
}

std::vector<std::string> kvStoreValueNames(int32_t root, const std::string &key) {
    std::lock_guard<std::mutex> lock(storeMutex);
    std::vector<std::string> names;
    if (kvOpenLocked() != SQLITE_OK) return names;
    KvStatement query("SELECT name FROM reg_values WHERE root = ?1 AND path = ?2 ORDER BY rowid");
    sqlite3_bind_int(query.stmt, 1, root);
    query.text(2, kvTrimKey(key));
    while (query.step() == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(query.stmt, 0)));
    return names;
}

std::vector<std::string> kvStoreSubkeys(int32_t root, const std::string &key) {
    std::lock_guard<std::mutex> lock(storeMutex);
    std::vector<std::string> names;
    if (kvOpenLocked() != SQLITE_OK) return names;
    std::string parent = kvTrimKey(key) + "\\";
    KvStatement query("SELECT path FROM reg_keys WHERE root = ?1 AND length(path) > length(?2)"
                      " AND substr(path, 1, length(?2)) = ?2 COLLATE NOCASE ORDER BY path");
    sqlite3_bind_int(query.stmt, 1, root);
    query.text(2, parent);
    while (query.step() == SQLITE_ROW) {
        std::string path = reinterpret_cast<const char *>(sqlite3_column_text(query.stmt, 0));
        std::string rest = path.substr(parent.size());
        if (!rest.empty() && rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return names;
}

void kvStoreClose() {
    std::lock_guard<std::mutex> lock(storeMutex);
    kvCloseLocked();
}
