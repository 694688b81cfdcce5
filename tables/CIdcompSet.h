// The component table: the components of each vehicle.
#pragma once

#include <cstdint>

#include "framework/odbc/CRecordset.h"

class CIdcompSet : public CRecordset {
  public:
    explicit CIdcompSet(CDatabase* pDatabase);
    ~CIdcompSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=Lorbanix"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_idcomp]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Deletes the key's rows with one statement; returns how many there were.
    std::int64_t DeleteByChassis(const CString& key);
    bool OpenTable();

    int m_te_cgrp = 0;
    CString m_te_chasnum;
    CString m_te_comp;

    // The chassis key of the look-up and delete filters.
    CString m_strChasnumParam;
};
