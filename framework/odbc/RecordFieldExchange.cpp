#include "framework/odbc/RecordFieldExchange.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/CUsageError.h"
#include "framework/odbc/CDBException.h"
#include "framework/odbc/CRecordset.h"
#include "framework/odbc/Odbc.h"

namespace {
constexpr std::uint32_t kLengthCap = 2147483547U;  // largest int32 minus 100

// MarkForAddNew: a member holding a value is written. MarkForUpdate: a member
// whose value changed is written, an emptied one as NULL.
void MarkField(CFieldExchange* pFX, unsigned index, bool holdsNull, bool changed) {
    const RecordsetFields rs = pFX->Fields();
    if (pFX->m_nOperation == CFieldExchange::MarkForAddNew) {
        if (!holdsNull) {
            rs.SetDirtyFieldStatus(index);
            rs.ClearNullFieldStatus(index);
        }
        return;
    }
    if (changed) {
        rs.SetDirtyFieldStatus(index);
    }
    if (holdsNull) {
        rs.SetNullFieldStatus(index);
    } else {
        rs.ClearNullFieldStatus(index);
    }
}

void ReadText(CFieldExchange* pFX, unsigned nField, CString& value) {
    const RecordsetFields rs = pFX->Fields();
    std::optional<std::string> fetched =
        GetColumnText(rs.GetResultStatement(), static_cast<SQLUSMALLINT>(nField));
    if (!fetched) {
        value.Empty();
        rs.SetNullFieldStatus(nField - 1);
        rs.SetRowKey(nField, nullptr, 0);
        return;
    }
    const std::string& text = *fetched;
    value = CString(text);
    rs.ClearNullFieldStatus(nField - 1);
    rs.SetRowKey(nField, text.data(), text.size());
}

// A copy of what BindInput would bind, for a row that joins a batch.
void CollectInput(CRowBatch::Row& row, unsigned param, CRowBatch::Value value, const void* buffer,
                  SQLLEN length) {
    value.isNull = length == SQL_NULL_DATA;
    if (!value.isNull) {
        std::size_t size = 0;
        if (value.cType == SQL_C_CHAR || value.cType == SQL_C_BINARY) {
            size = length == SQL_NTS ? std::strlen(static_cast<const char*>(buffer))
                                     : static_cast<std::size_t>(length);
        } else if (value.cType == SQL_C_SLONG) {
            size = sizeof(SQLINTEGER);
        } else {
            throw CUsageError("A value of this type cannot join a batch of rows");
        }
        value.bytes.assign(static_cast<const char*>(buffer), size);
    }
    if (row.size() < param) {
        row.resize(param);
    }
    row[param - 1] = std::move(value);
}

void BindInput(CFieldExchange* pFX, unsigned param, SQLSMALLINT cType, SQLSMALLINT sqlType,
               SQLULEN columnSize, SQLSMALLINT scale, void* value, SQLLEN bufferLength,
               SQLLEN* length) {
    if (pFX->m_pRow != nullptr) {
        CollectInput(*pFX->m_pRow, param, {cType, sqlType, columnSize, scale, {}, false}, value,
                     *length);
        return;
    }
    const SQLRETURN rc =
        SQLBindParameter(pFX->m_hstmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, cType,
                         sqlType, columnSize, scale, value, bufferLength, length);
    OdbcCheck(rc, SQL_HANDLE_STMT, pFX->m_hstmt);
}

SQLUSMALLINT AppendParamMarker(CFieldExchange* pFX, const char* szName) {
    if (pFX->m_pstr == nullptr) {
        return static_cast<SQLUSMALLINT>(++pFX->m_nParamFields);
    }
    if (pFX->m_nOperation == CFieldExchange::NameValue) {
        *pFX->m_pstr += szName;
        *pFX->m_pstr += "=";
    }
    *pFX->m_pstr += "?";
    *pFX->m_pstr += pFX->m_lpszSeparator;
    return static_cast<SQLUSMALLINT>(++pFX->m_nParamFields);
}

}  // namespace

std::optional<std::string> GetColumnText(SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string text;
    std::vector<char> chunk(512);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, chunk.data(),
                                        static_cast<SQLLEN>(chunk.size()), &indicator);
        if (rc == SQL_NO_DATA) {
            break;
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO &&
            (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(chunk.size()));
        text.append(chunk.data(),
                    truncated ? chunk.size() - 1 : static_cast<std::size_t>(indicator));
        if (!truncated) {
            break;
        }
    }
    return text;
}

namespace {
bool ApplySetFieldNull(CFieldExchange* pFX, const void* member, unsigned nFieldIndex,
                       SQLLEN* plLength, SQLLEN notNullLength) {
    const bool targeted =
        (pFX->m_pvField == nullptr && pFX->m_nFieldType == CFieldExchange::outputColumn) ||
        pFX->m_pvField == member;
    if (!targeted) {
        return false;
    }
    if (pFX->m_bField) {
        pFX->Fields().SetNullFieldStatus(nFieldIndex);
        *plLength = SQL_NULL_DATA;
        return true;
    }
    pFX->Fields().ClearNullFieldStatus(nFieldIndex);
    *plLength = notNullLength;
    return false;
}

void FixupLongBinary(CFieldExchange* pFX, unsigned nField, CLongBinary& value, SQLLEN* plLength) {
    const RecordsetFields rs = pFX->Fields();
    if (!rs.ReadsLongBinaries()) {
        *plLength = 0;
        rs.SetNullFieldStatus(nField - 1);
        return;
    }
    *plLength = pFX->GetLongBinarySize(static_cast<int>(nField));
    const bool isNull = *plLength == SQL_NULL_DATA;
    if (*plLength != 0 && !isNull) {
        pFX->GetLongBinaryData(static_cast<int>(nField), value, plLength);
    }
    if (isNull || *plLength == 0) {
        value.m_dwDataLength = 0;
        rs.SetNullFieldStatus(nField - 1);
    } else {
        rs.ClearNullFieldStatus(nField - 1);
    }
    if (!rs.NamesRowsByValue()) {
        return;
    }
    // The bytes as read name the row, whatever later becomes of the member; an
    // empty value is not NULL there.
    if (isNull) {
        rs.SetRowKey(nField, nullptr, 0);
    } else if (value.m_dwDataLength == 0) {
        rs.SetRowKey(nField, "", 0);
    } else {
        const CGlobalLock lock(value.m_hData);
        rs.SetRowKey(nField, static_cast<const char*>(lock.data()), value.m_dwDataLength);
    }
}
}  // namespace

SQLLEN CappedDataAtExecLength(std::uint32_t dataLength) {
    const SQLLEN capped = dataLength > kLengthCap ? kLengthCap : dataLength;
    return SQL_LEN_DATA_AT_EXEC(capped);
}

void ExchangeField(CFieldExchange* pFX, const char* szName, ExchangedField& field) {
    unsigned nField = 0;
    if (!pFX->IsFieldType(&nField)) {
        return;
    }
    const RecordsetFields rs = pFX->Fields();
    const unsigned index = nField - 1;
    SQLLEN* length = rs.GetFieldLengthBuffer(index, pFX->m_nFieldType);
    switch (pFX->m_nOperation) {
        case CFieldExchange::Name:
            pFX->Default(szName, field.Member(), length, field.CType(), 0, 0);
            return;
        case CFieldExchange::BindFieldToColumn:
            // Never bound to a buffer: Fixup reads it, the change statements send it.
            rs.MapField(field.Member(), nField);
            return;
        case CFieldExchange::BindFieldForUpdate:
            field.BeforeRowChange(rs.IsFieldStatusDirty(index), rs.IsFieldStatusNull(index),
                                  length);
            return;
        case CFieldExchange::UnbindFieldForUpdate:
            field.AfterRowChange(length);
            return;
        case CFieldExchange::Fixup:
            field.Read(pFX, nField, length);
            return;
        case CFieldExchange::MarkForAddNew:
        case CFieldExchange::MarkForUpdate:
            if (const std::optional<std::string> kept = field.Kept()) {
                MarkField(pFX, index, field.HoldsNull(rs.IsFieldStatusNull(index)),
                          *kept != rs.GetCachedValue(nField));
            }
            return;
        case CFieldExchange::BindParam:
        case CFieldExchange::RebindParam:
        case CFieldExchange::NameValue:
        case CFieldExchange::Value: {
            // A key goes as it is; a value only when it is to be written.
            const bool key = pFX->m_nFieldType == CFieldExchange::param;
            if (!key && !rs.IsFieldStatusDirty(index)) {
                return;
            }
            *length = !key && rs.IsFieldStatusNull(index) ? SQL_NULL_DATA
                                                          : field.ValueLength(szName, key);
            field.Bind(pFX, nField, key ? nField : AppendParamMarker(pFX, szName), length);
            return;
        }
        case CFieldExchange::SetFieldNull:
            if (ApplySetFieldNull(pFX, field.Member(), index, length, field.NotNullLength())) {
                field.Empty();
            }
            return;
        case CFieldExchange::StoreField:
            if (const std::optional<std::string> kept = field.Kept()) {
                rs.SetCachedValue(nField, *kept);
            }
            return;
        case CFieldExchange::LoadField:
            if (field.Kept()) {
                field.Load(rs.GetCachedValue(nField));
            }
            return;
        default:
            return;
    }
}

namespace {
// A 32-bit integer; it holds kIntegerWhileNull while it is null.
template <typename Integer>
class IntegerField : public ExchangedField {
  public:
    static_assert(sizeof(Integer) == sizeof(SQLINTEGER), "exchanged as a 32-bit integer");
    explicit IntegerField(Integer& value) : m_value(value) {}
    [[nodiscard]] void* Member() const override { return &m_value; }
    [[nodiscard]] int CType() const override { return SQL_C_SLONG; }
    void Read(CFieldExchange* pFX, unsigned nField, SQLLEN* /*plLength*/) override {
        const RecordsetFields rs = pFX->Fields();
        SQLINTEGER fetched = 0;
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(rs.GetResultStatement(), static_cast<SQLUSMALLINT>(nField),
                                        SQL_C_SLONG, &fetched, 0, &indicator);
        OdbcCheck(rc, SQL_HANDLE_STMT, rs.GetResultStatement());
        if (indicator == SQL_NULL_DATA) {
            m_value = kIntegerWhileNull;
            rs.SetNullFieldStatus(nField - 1);
            rs.SetRowKey(nField, nullptr, 0);
            return;
        }
        m_value = static_cast<Integer>(fetched);
        rs.ClearNullFieldStatus(nField - 1);
        const std::string text = std::to_string(fetched);
        rs.SetRowKey(nField, text.data(), text.size());
    }
    [[nodiscard]] SQLLEN ValueLength(const char* /*szName*/, bool /*isKey*/) const override {
        return 0;
    }
    void Bind(CFieldExchange* pFX, unsigned /*nField*/, unsigned param, SQLLEN* plLength) override {
        BindInput(pFX, param, SQL_C_SLONG, SQL_INTEGER, 0, 0, &m_value, 0, plLength);
    }
    [[nodiscard]] SQLLEN NotNullLength() const override { return sizeof(Integer); }
    void Empty() override { m_value = kIntegerWhileNull; }
    [[nodiscard]] std::optional<std::string> Kept() const override {
        return std::to_string(m_value);
    }
    [[nodiscard]] bool HoldsNull(bool isNullStatus) const override {
        return isNullStatus && m_value == kIntegerWhileNull;
    }
    void Load(const std::string& kept) override { m_value = static_cast<Integer>(std::stol(kept)); }

  private:
    Integer& m_value;
};

// Text of at most nMaxLength bytes; an empty one stands for NULL.
class TextField : public ExchangedField {
  public:
    TextField(CString& value, int nMaxLength, int nColumnType, short nScale)
        : m_value(value), m_nMaxLength(nMaxLength), m_nColumnType(nColumnType), m_nScale(nScale) {}
    [[nodiscard]] void* Member() const override { return &m_value; }
    [[nodiscard]] int CType() const override { return SQL_C_CHAR; }
    void Read(CFieldExchange* pFX, unsigned nField, SQLLEN* /*plLength*/) override {
        ReadText(pFX, nField, m_value);
    }
    [[nodiscard]] SQLLEN ValueLength(const char* szName, bool isKey) const override {
        // A key goes as the bytes it is, whatever its length: a longer one
        // simply matches no row. A value to store must fit its column.
        if (!isKey && m_value.GetLength() > m_nMaxLength) {
            CString text;
            text.Format("The value for column %s is %d bytes long; at most %d fit", szName,
                        m_value.GetLength(), m_nMaxLength);
            throw CDBException(SQL_ERROR, "22001", text);
        }
        return m_value.GetLength();
    }
    void Bind(CFieldExchange* pFX, unsigned /*nField*/, unsigned param, SQLLEN* plLength) override {
        BindInput(pFX, param, SQL_C_CHAR, static_cast<SQLSMALLINT>(m_nColumnType),
                  static_cast<SQLULEN>(std::max(m_value.GetLength(), m_nMaxLength)), m_nScale,
                  const_cast<char*>(m_value.GetString()), m_value.GetLength(), plLength);
    }
    [[nodiscard]] SQLLEN NotNullLength() const override { return SQL_NTS; }
    void Empty() override { m_value.Empty(); }
    [[nodiscard]] std::optional<std::string> Kept() const override { return m_value.str(); }
    [[nodiscard]] bool HoldsNull(bool /*isNullStatus*/) const override { return m_value.IsEmpty(); }
    void Load(const std::string& kept) override { m_value = CString(kept); }

  private:
    CString& m_value;
    int m_nMaxLength;
    int m_nColumnType;
    short m_nScale;
};
}  // namespace

void LongBinaryField::Read(CFieldExchange* pFX, unsigned nField, SQLLEN* plLength) {
    FixupLongBinary(pFX, nField, m_value, plLength);
}

SQLLEN LongBinaryField::ValueLength(const char* /*szName*/, bool /*isKey*/) const {
    return CappedDataAtExecLength(m_value.m_dwDataLength);
}

void LongBinaryField::Bind(CFieldExchange* pFX, unsigned nField, unsigned param, SQLLEN* plLength) {
    // The column size is the full length; only the length cell is capped.
    BindInput(pFX, param, static_cast<SQLSMALLINT>(m_nCType),
              pFX->Fields().GetColumnSqlType(nField), m_value.m_dwDataLength, 0, &m_value, 0,
              plLength);
}

SQLLEN LongBinaryField::NotNullLength() const {
    return CappedDataAtExecLength(m_value.m_dwDataLength);
}

void LongBinaryField::BeforeRowChange(bool isDirty, bool isNull, SQLLEN* plLength) {
    if (!isDirty) {
        *plLength = SQL_IGNORE;
    } else {
        *plLength = isNull ? SQL_NULL_DATA : CappedDataAtExecLength(m_value.m_dwDataLength);
    }
}

void LongBinaryField::AfterRowChange(SQLLEN* plLength) {
    *plLength = static_cast<SQLLEN>(m_value.m_dwDataLength);
}

void RFX_Text(CFieldExchange* pFX, const char* szName, CString& value, int nMaxLength,
              int nColumnType, short nScale) {
    TextField field(value, nMaxLength, nColumnType, nScale);
    ExchangeField(pFX, szName, field);
}

void RFX_Long(CFieldExchange* pFX, const char* szName, std::int32_t& value) {
    IntegerField<std::int32_t> field(value);
    ExchangeField(pFX, szName, field);
}

void RFX_Int(CFieldExchange* pFX, const char* szName, int& value) {
    IntegerField<int> field(value);
    ExchangeField(pFX, szName, field);
}

void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value) {
    LongBinaryField field(value, SQL_C_BINARY);
    ExchangeField(pFX, szName, field);
}
