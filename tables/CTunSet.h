// The tun table: one data file per vehicle, in a long-binary column that this
// set exchanges through its own ExchangeLongBinary.
#pragma once

#include <cstdint>

#include "framework/CLongBinary.h"
#include "framework/odbc/CRecordset.h"

class CTunSet : public CRecordset {
  public:
    explicit CTunSet(CDatabase* pDatabase);
    ~CTunSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=Lorbanix"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_tun]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Deletes the key's rows with one statement; returns how many there were.
    std::int64_t DeleteByChassis(const CString& key);
    bool OpenTable();

    // Names, reads, marks and binds the long-binary column for every pass of
    // the field exchange; its bytes are sent at execution.
    virtual void ExchangeLongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value);

    CString m_te_chasnum;
    CLongBinary m_te_file;

    // The chassis key of the look-up and delete filters.
    CString m_strChasnumParam;
};
