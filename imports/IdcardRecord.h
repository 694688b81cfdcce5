// The ID card of one update: five texts, the "NULL" marker already applied.
#pragma once

#include "framework/CString.h"

struct IdcardRecord {
    CString m_strChasnum;
    CString m_strTpnum;
    CString m_strEngsn;
    CString m_strMdes;
    CString m_strKfactor;  // converted when the row is written
};
