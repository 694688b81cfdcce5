-- The five tables of the Lorbanix data source, PostgreSQL edition, owned by tbadmin.
CREATE SCHEMA IF NOT EXISTS tbadmin;

CREATE TABLE IF NOT EXISTS tbadmin.tb_idcard (
    te_chasnum  VARCHAR(255),
    te_engsn    VARCHAR(255),
    te_kfactor  INTEGER,
    te_mdes     VARCHAR(255),
    te_tpnum    VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tbadmin.tb_idcomp (
    te_cgrp     INTEGER,
    te_chasnum  VARCHAR(255),
    te_comp     VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tbadmin.tb_serialnumber (
    te_chasnum    VARCHAR(255),
    "te_serialID" VARCHAR(255),
    te_serialno   VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tbadmin.tb_tun (
    te_chasnum  VARCHAR(255),
    te_file     BYTEA
);
CREATE TABLE IF NOT EXISTS tbadmin.tb_vs (
    te_comp     VARCHAR(255),
    te_file     BYTEA,
    te_vstype   INTEGER
);

CREATE INDEX IF NOT EXISTS ix_idcard_chasnum ON tbadmin.tb_idcard (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_idcomp_chasnum ON tbadmin.tb_idcomp (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_serialnumber_chasnum ON tbadmin.tb_serialnumber (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_tun_chasnum ON tbadmin.tb_tun (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_vs_comp_type ON tbadmin.tb_vs (te_comp, te_vstype);
