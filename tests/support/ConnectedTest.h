// A test run once on each data source, over emptied tables and one open connection.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/DataSource.h"

using Rows = std::vector<std::vector<std::string>>;

class ConnectedTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override {
        source = &GetDataSource(GetParam());
        ClearTables(*source);
        source->Activate();
        db.OpenEx(kConnectString, CDatabase::noOdbcDialog);
    }

    const DataSource* source = nullptr;
    CDatabase db;
};

// Suite's tests once per data source, each named after its data source.
#define INSTANTIATE_ON_BOTH(Suite)                                                      \
    INSTANTIATE_TEST_SUITE_P(DataSources, Suite, ::testing::ValuesIn(AllDataSources()), \
                             [](const auto& info) { return DataSourceKindName(info.param); })
