// The one transaction of a run: begun on construction, rolled back on
// destruction unless it was committed. The destructor never throws.
#pragma once

#include "framework/odbc/CDatabase.h"

class CTransaction {
  public:
    // Raises when no transaction can be begun (CDBException from the data
    // source, CUsageError without a connection or inside another transaction):
    // the writes that follow must never be committed one by one.
    explicit CTransaction(CDatabase& database);
    ~CTransaction() { Rollback(); }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // Raises CDBException with the driver's text unless the data source confirms
    // the commit; the transaction then stays open for the rollback that follows.
    void Commit();
    void Rollback() noexcept;

  private:
    CDatabase& m_database;
    bool m_bOpen = false;
};
