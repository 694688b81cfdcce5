// The vs table: data files keyed by component and vs type.
#pragma once

#include "framework/CLongBinary.h"
#include "framework/CRecordset.h"

class CVsSet : public CRecordset {
  public:
    explicit CVsSet(CDatabase* pDatabase);
    ~CVsSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=Lorbanix"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_vs]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    CString m_te_comp;
    CLongBinary m_te_file;
    int m_te_vstype = 0;
};
