// A test run once on each data source, over emptied tables and one open connection.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/DataSource.h"

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
