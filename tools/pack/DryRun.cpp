#include "tools/pack/DryRun.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "framework/CDesktop.h"
#include "framework/CollectingDesktop.h"
#include "framework/GlobalMemory.h"
#include "framework/Kernel.h"
#include "framework/odbc/CTransaction.h"
#include "imports/CSpoolImporter.h"
#include "imports/SpoolText.h"
#include "tables/CIdcardSet.h"
#include "tables/CIdcompSet.h"
#include "tables/CSerialSet.h"
#include "tables/CTunSet.h"
#include "tables/CVsSet.h"
#include "update/CUpdateDlg.h"
#include "update/RunFailure.h"
#include "update/StageError.h"
#include "util/FileHelpers.h"

namespace {
using Row = std::vector<std::string>;
// Per table, every row the update may touch, sorted.
using Rows = std::array<std::vector<Row>, kTableCount>;

// The keys whose rows the update can reach: every chassis its spool files name
// and every vs component.
struct Keys {
    std::set<std::string> chassis;
    std::set<std::string> components;
};

Keys SpoolKeys(const CString& workDir, const IdcardRecord& record) {
    Keys keys;
    keys.chassis.insert(record.m_strChasnum.str());
    CString text;
    for (const char* name : {"idcomp.spl", "serial.spl"}) {
        ReadTextFile(PathJoin(workDir, name), text);
        ForEachLine(text, [&](CString& line) {
            CString chassis;
            CString second;
            CString third;
            SplitThreeFields(line, chassis, second, third);
            keys.chassis.insert(chassis.str());
            return true;
        });
    }
    ReadTextFile(PathJoin(workDir, "tun.spl"), text);
    CString chassis;
    if (CutField(text, chassis) && !chassis.IsEmpty()) {
        keys.chassis.insert(chassis.str());
    }
    ReadTextFile(PathJoin(workDir, "vs.spl"), text);
    ForEachLine(text, [&](CString& line) {
        CString comp;
        CString vstype;
        CString name;
        SplitThreeFields(line, comp, vstype, name);
        if (!comp.IsEmpty()) {
            keys.components.insert(comp.str());
        }
        return true;
    });
    return keys;
}

std::string NumberText(std::int32_t value) {
    return value == INT32_MIN ? std::string("null") : std::to_string(value);
}

// A long binary as its length and a 64-bit FNV-1a digest of its bytes.
std::string BlobText(const CLongBinary& value) {
    if (value.m_hData == nullptr) {
        return "none";
    }
    const CGlobalLock lock(value.m_hData);
    const auto* bytes = static_cast<const unsigned char*>(lock.data());
    std::uint64_t digest = 14695981039346656037ULL;
    for (std::uint32_t i = 0; i < value.m_dwDataLength; ++i) {
        digest = (digest ^ bytes[i]) * 1099511628211ULL;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%" PRIu32 ":%016" PRIx64, value.m_dwDataLength, digest);
    return text;
}

// The key goes into the set's first parameter field, the one the filter compares.
template <typename Set, typename ToRow>
void ReadRows(CDatabase& database, const char* column, CString Set::*keyParam,
              const std::set<std::string>& keys, const ToRow& toRow, std::vector<Row>& rows) {
    for (const std::string& key : keys) {
        Set set(&database);
        set.m_strFilter = CString(column) + " = ?";
        set.m_nParams = 1;
        set.*keyParam = CString(key);
        set.Open(CRecordset::snapshot, nullptr, CRecordset::none);
        for (; !set.IsEOF(); set.MoveNext()) {
            rows.push_back(toRow(set));
        }
        set.Close();
    }
}

Rows ReadReachableRows(CDatabase& database, const Keys& keys) {
    Rows rows;
    ReadRows<CIdcardSet>(
        database, "te_chasnum", &CIdcardSet::m_strChasnumParam, keys.chassis,
        [](CIdcardSet& set) {
            return Row{set.m_te_chasnum.str(), set.m_te_tpnum.str(), set.m_te_engsn.str(),
                       set.m_te_mdes.str(), NumberText(set.m_te_kfactor)};
        },
        rows[kIdcardTable]);
    ReadRows<CIdcompSet>(
        database, "te_chasnum", &CIdcompSet::m_strChasnumParam, keys.chassis,
        [](CIdcompSet& set) {
            return Row{set.m_te_chasnum.str(), NumberText(set.m_te_cgrp), set.m_te_comp.str()};
        },
        rows[kIdcompTable]);
    ReadRows<CSerialSet>(
        database, "te_chasnum", &CSerialSet::m_strChasnumParam, keys.chassis,
        [](CSerialSet& set) {
            return Row{set.m_te_chasnum.str(), set.m_te_serialID.str(), set.m_te_serialno.str()};
        },
        rows[kSerialTable]);
    ReadRows<CTunSet>(
        database, "te_chasnum", &CTunSet::m_strChasnumParam, keys.chassis,
        [](CTunSet& set) {
            return Row{set.m_te_chasnum.str(), BlobText(set.m_te_file)};
        },
        rows[kTunTable]);
    ReadRows<CVsSet>(
        database, "te_comp", &CVsSet::m_strCompParam, keys.components,
        [](CVsSet& set) {
            return Row{set.m_te_comp.str(), NumberText(set.m_te_vstype), BlobText(set.m_te_file)};
        },
        rows[kVsTable]);
    for (std::vector<Row>& table : rows) {
        std::sort(table.begin(), table.end());
    }
    return rows;
}

// A row's key: the first two values (the chassis and what tells its rows
// apart; the component and vs type), the chassis alone for the ID card and tun.
Row KeyOf(SpoolTable table, const Row& row) {
    const std::size_t length = table == kIdcardTable || table == kTunTable ? 1 : 2;
    return {row.begin(), row.begin() + static_cast<std::ptrdiff_t>(length)};
}

TableChanges Compare(SpoolTable table, const std::vector<Row>& before,
                     const std::vector<Row>& after) {
    std::vector<Row> gone;
    std::vector<Row> come;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(come));
    std::multiset<Row> comeKeys;
    for (const Row& row : come) {
        comeKeys.insert(KeyOf(table, row));
    }
    TableChanges changes;
    for (const Row& row : gone) {
        const auto match = comeKeys.find(KeyOf(table, row));
        if (match == comeKeys.end()) {
            ++changes.deleted;
        } else {
            ++changes.changed;
            comeKeys.erase(match);
        }
    }
    changes.added = static_cast<int>(come.size()) - changes.changed;
    return changes;
}
}  // namespace

DryRunReport DryRun(const std::string& workDir) {
    DryRunReport report;
    auto desktop = std::make_unique<CCollectingDesktop>();
    const CCollectingDesktop& shown = *desktop;
    SetDesktop(std::move(desktop));
    const CString work = workDir.c_str();
    CDatabase database;
    // The update's own imports, without its window: no bar to step, no pause.
    CSpoolImporter imports(database, work, [] {});
    Rows before;
    Keys keys;
    try {
        database.OpenEx(CUpdateDlg::ConnectString(), CUpdateDlg::kConnectOptions);
        CString idcard;
        ReadTextFile(PathJoin(work, "idcard.spl"), idcard);
        const IdcardRecord record = CSpoolImporter::ParseIdcard(idcard);
        keys = SpoolKeys(work, record);
        // Never committed: the transaction is rolled back below, or on the way
        // out of a failure, or by the data source when the process dies.
        CTransaction transaction(database);
        before = ReadReachableRows(database, keys);
        report.readBefore = true;
        std::printf("dry run: importing\n");
        std::fflush(stdout);
        if (!imports.RunImports(record)) {
            throw CStageError();  // the import has shown why it stopped
        }
        const Rows after = ReadReachableRows(database, keys);
        transaction.Rollback();
        for (int table = 0; table < kTableCount; ++table) {
            const auto index = static_cast<std::size_t>(table);
            report.changes.at(index) =
                Compare(static_cast<SpoolTable>(table), before.at(index), after.at(index));
        }
        report.imported = true;
    } catch (...) {
        const RunFailure failure = DescribeFailure(std::current_exception());
        report.failure = failure.m_strMessage.str();
        report.toolExitCode = failure.m_nExitCode;
    }
    if (report.readBefore) {
        try {
            report.unchanged = ReadReachableRows(database, keys) == before;
        } catch (...) {
            report.unchanged = false;
        }
    }
    report.messages = shown.m_messages;
    return report;
}
