// The vs table: data files keyed by component and vs type.
#pragma once

#include "framework/CLongBinary.h"
#include "framework/odbc/CRecordset.h"

class CVsSet : public CRecordset {
  public:
    explicit CVsSet(CDatabase* pDatabase);
    ~CVsSet() override = default;

    CString GetDefaultConnect() override { return "ODBC;DSN=Lorbanix"; }
    CString GetDefaultSQL() override { return "[tbadmin].[tb_vs]"; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Opens the set on the rows of the key; true when the first row's
    // component equals comp byte for byte.
    bool FindByKey(const CString& comp, int vstype);

    CString m_te_comp;
    CLongBinary m_te_file;
    int m_te_vstype = 0;

    // The key of the look-up filter.
    CString m_strCompParam;
    int m_nVstypeParam = 0;
};
