/* SQLite has no table owners. Loaded by the data source's driver, this extension
 * attaches the database file a second time under the owner name "tbadmin", so
 * that "tbadmin.tb_idcard" names the table of the main file. */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <string.h>

#ifdef _WIN32
__declspec(dllexport)
#endif
    int sqlite3_tbadminext_init(sqlite3* db, char** error, const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    const char* file = sqlite3_db_filename(db, "main");
    if (file == NULL || file[0] == '\0') {
        *error = sqlite3_mprintf("tbadmin: the main database has no file to attach");
        return SQLITE_ERROR;
    }
    char* sql = sqlite3_mprintf("ATTACH DATABASE %Q AS tbadmin", file);
    if (sql == NULL) {
        return SQLITE_NOMEM;
    }
    int rc = sqlite3_exec(db, sql, NULL, NULL, error);
    sqlite3_free(sql);
    return rc;
}
