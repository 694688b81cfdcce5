// The one transaction of a run: begun on construction, rolled back on
// destruction unless it was committed. The destructor never throws.
#pragma once

#include "framework/CDatabase.h"

class CTransaction {
  public:
    explicit CTransaction(CDatabase& database)
        : m_database(database), m_bOpen(database.BeginTrans()) {}
    ~CTransaction() { Rollback(); }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // Raises CDBException with the driver's text when the commit fails; the
    // transaction then stays open for the rollback that follows.
    void Commit();
    void Rollback() noexcept;

  private:
    CDatabase& m_database;
    bool m_bOpen;
};
