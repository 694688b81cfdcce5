// The serial-number table: the serial numbers of each vehicle's parts.
#pragma once

#include <cstdint>

#include "framework/odbc/CRecordset.h"

class CSerialSet : public CRecordset {
  public:
    explicit CSerialSet(CDatabase* pDatabase);
    ~CSerialSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=Lorbanix"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_serialnumber]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Deletes the key's rows with one statement; returns how many there were.
    std::int64_t DeleteByChassis(const CString& key);
    bool OpenTable();

    // Declared in the reverse of their column order.
    CString m_te_serialno;
    CString m_te_serialID;
    CString m_te_chasnum;

    // The chassis key of the look-up and delete filters.
    CString m_strChasnumParam;
};
