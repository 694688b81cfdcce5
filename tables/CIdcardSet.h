// The ID-card table: one row per vehicle.
#pragma once

#include <cstdint>

#include "framework/odbc/CRecordset.h"

class CIdcardSet : public CRecordset {
  public:
    explicit CIdcardSet(CDatabase* pDatabase);
    ~CIdcardSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=vemdb"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_idcard]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Opens the set on the chassis's rows; true when the first row carries exactly that key.
    bool FindByChassis(const CString& key);

    CString m_te_chasnum;
    CString m_te_engsn;
    std::int32_t m_te_kfactor = 0;
    CString m_te_mdes;
    CString m_te_tpnum;

    // The chassis key of the look-up and delete filters.
    CString m_strChasnumParam;
};
