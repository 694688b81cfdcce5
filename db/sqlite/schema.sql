-- The five tables of the Lorbanix data source, SQLite edition. The owner name
-- "tbadmin" is supplied by the tbadmin_ext extension that the DSN loads.
PRAGMA journal_mode = WAL;

CREATE TABLE IF NOT EXISTS tb_idcard (
    te_chasnum  VARCHAR(255),
    te_engsn    VARCHAR(255),
    te_kfactor  INTEGER,
    te_mdes     VARCHAR(255),
    te_tpnum    VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tb_idcomp (
    te_cgrp     INTEGER,
    te_chasnum  VARCHAR(255),
    te_comp     VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tb_serialnumber (
    te_chasnum  VARCHAR(255),
    te_serialID VARCHAR(255),
    te_serialno VARCHAR(255)
);
CREATE TABLE IF NOT EXISTS tb_tun (
    te_chasnum  VARCHAR(255),
    te_file     BLOB
);
CREATE TABLE IF NOT EXISTS tb_vs (
    te_comp     VARCHAR(255),
    te_file     BLOB,
    te_vstype   INTEGER
);

CREATE INDEX IF NOT EXISTS ix_idcard_chasnum ON tb_idcard (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_idcomp_chasnum ON tb_idcomp (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_serialnumber_chasnum ON tb_serialnumber (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_tun_chasnum ON tb_tun (te_chasnum);
CREATE INDEX IF NOT EXISTS ix_vs_comp_type ON tb_vs (te_comp, te_vstype);
