// The SQLite schema of the store: the database lists, the catalogue tables of every database
// (keyed by dbk) and the triggers that keep the derived ones in step.
#include "sim/engine/core/Store.h"

namespace sqlsim {

namespace {

const char *const schemaSql = R"sql(
CREATE TABLE ss_databases(inst INTEGER, name nvarchar(128) COLLATE SSCI, dbid smallint,
  sid varbinary(85), mode smallint, status int, status2 int, crdate datetime, reserved datetime,
  category int, cmptlevel tinyint, filename nvarchar(260), version smallint, dbk bigint);
CREATE INDEX ss_databases_inst ON ss_databases(inst, dbid);

CREATE TABLE cat_sysobjects(dbk INTEGER, name nvarchar(128) COLLATE SSCI, id int,
  xtype char(2) COLLATE SSCI, uid smallint, info smallint, status int, base_schema_ver int,
  replinfo int, parent_obj int, crdate datetime, ftcatid smallint, schema_ver int,
  stats_schema_ver int, type char(2) COLLATE SSCI, userstat smallint, sysstat smallint,
  indexdel smallint, refdate datetime, version int, deltrig int, instrig int, updtrig int,
  seltrig int, category int, cache smallint);
CREATE INDEX cat_sysobjects_id ON cat_sysobjects(dbk, id);
CREATE INDEX cat_sysobjects_name ON cat_sysobjects(dbk, name);
CREATE INDEX cat_sysobjects_parent ON cat_sysobjects(dbk, parent_obj);

CREATE TABLE cat_objects(dbk INTEGER, name nvarchar(128) COLLATE SSCI, object_id int,
  principal_id int, schema_id int, parent_object_id int, type char(2) COLLATE SSCI,
  type_desc nvarchar(60) COLLATE SSCI, create_date datetime, modify_date datetime,
  is_ms_shipped bit, is_published bit, is_schema_published bit);
CREATE INDEX cat_objects_id ON cat_objects(dbk, object_id);

CREATE TRIGGER cat_sysobjects_ins AFTER INSERT ON cat_sysobjects BEGIN
  INSERT INTO cat_objects VALUES(new.dbk, new.name, new.id, NULL, 1, new.parent_obj, new.type,
    CASE trim(new.type) WHEN 'U' THEN 'USER_TABLE' WHEN 'V' THEN 'VIEW'
      WHEN 'P' THEN 'SQL_STORED_PROCEDURE' WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT'
      WHEN 'F' THEN 'FOREIGN_KEY_CONSTRAINT' WHEN 'D' THEN 'DEFAULT_CONSTRAINT'
      WHEN 'UQ' THEN 'UNIQUE_CONSTRAINT' WHEN 'C' THEN 'CHECK_CONSTRAINT'
      WHEN 'FN' THEN 'SQL_SCALAR_FUNCTION' WHEN 'IF' THEN 'SQL_INLINE_TABLE_VALUED_FUNCTION'
      WHEN 'TF' THEN 'SQL_TABLE_VALUED_FUNCTION' WHEN 'TR' THEN 'SQL_TRIGGER'
      WHEN 'S' THEN 'SYSTEM_TABLE' ELSE 'OTHER' END,
    new.crdate, new.refdate, CASE WHEN new.status < 0 THEN 1 ELSE 0 END, 0, 0);
END;
CREATE TRIGGER cat_sysobjects_del AFTER DELETE ON cat_sysobjects BEGIN
  DELETE FROM cat_objects WHERE dbk = old.dbk AND object_id = old.id;
END;
CREATE TRIGGER cat_sysobjects_upd AFTER UPDATE ON cat_sysobjects BEGIN
  UPDATE cat_objects SET name = new.name, parent_object_id = new.parent_obj,
    modify_date = new.refdate, is_ms_shipped = CASE WHEN new.status < 0 THEN 1 ELSE 0 END
  WHERE dbk = old.dbk AND object_id = old.id;
END;

CREATE TABLE cat_syscolumns(dbk INTEGER, name nvarchar(128) COLLATE SSCI, id int,
  xtype tinyint, typestat tinyint, xusertype smallint, length smallint, xprec tinyint,
  xscale tinyint, colid smallint, xoffset smallint, bitpos tinyint, reserved tinyint,
  colstat smallint, cdefault int, domain int, number smallint, colorder smallint,
  autoval varbinary(8000), offset smallint, collationid int, language int, status tinyint,
  type tinyint, usertype smallint, printfmt varchar(255), prec smallint, scale int,
  iscomputed int, isoutparam int, isnullable int, collation nvarchar(128) COLLATE SSCI,
  tdscollation varbinary(5), seed bigint, increment bigint);
CREATE INDEX cat_syscolumns_id ON cat_syscolumns(dbk, id, colid);

CREATE TABLE cat_syscomments(dbk INTEGER, id int, number smallint, colid smallint,
  status smallint, ctext varbinary(8000), texttype smallint, language smallint,
  encrypted bit, compressed bit, text nvarchar(4000) COLLATE SSCI);
CREATE INDEX cat_syscomments_id ON cat_syscomments(dbk, id, colid);

CREATE TABLE cat_sysindexes(dbk INTEGER, id int, status int, first binary(6), indid smallint,
  root binary(6), minlen smallint, keycnt smallint, groupid smallint, dpages int,
  reserved int, used int, rowcnt bigint, rowmodctr int, reserved3 tinyint, reserved4 tinyint,
  xmaxlen smallint, maxirow smallint, OrigFillFactor tinyint, StatVersion tinyint,
  reserved2 int, FirstIAM binary(6), impid smallint, lockflags smallint, pgmodctr int,
  keys varbinary(1088), name nvarchar(128) COLLATE SSCI, statblob image, maxlen int, rows int);
CREATE INDEX cat_sysindexes_id ON cat_sysindexes(dbk, id, indid);
CREATE INDEX cat_sysindexes_indid ON cat_sysindexes(dbk, indid);
CREATE INDEX cat_sysindexes_name ON cat_sysindexes(dbk, name);

CREATE TABLE cat_sysindexkeys(dbk INTEGER, id int, indid smallint, colid smallint, keyno smallint);
CREATE INDEX cat_sysindexkeys_id ON cat_sysindexkeys(dbk, id, colid);

-- sys.indexes and sys.index_columns; is_system_named (of a key constraint), filter_sql (the
-- filter over the row table) and no_recompute (of the index's statistics) are sqlsim's own.
CREATE TABLE cat_indexes(dbk INTEGER, object_id int, name nvarchar(128) COLLATE SSCI, index_id int,
  type tinyint, type_desc nvarchar(60) COLLATE SSCI, is_unique bit, data_space_id int,
  ignore_dup_key bit, is_primary_key bit, is_unique_constraint bit, fill_factor tinyint,
  is_padded bit, is_disabled bit, is_hypothetical bit, allow_row_locks bit, allow_page_locks bit,
  has_filter bit, filter_definition nvarchar(-1) COLLATE SSCI, compression_delay int,
  suppress_dup_key_messages bit, auto_created bit, optimize_for_sequential_key bit,
  is_system_named bit, filter_sql text, no_recompute bit);
CREATE INDEX cat_indexes_id ON cat_indexes(dbk, object_id, index_id);
CREATE TABLE cat_index_columns(dbk INTEGER, object_id int, index_id int, index_column_id int,
  column_id int, key_ordinal tinyint, partition_ordinal tinyint, is_descending_key bit,
  is_included_column bit);
CREATE INDEX cat_index_columns_id ON cat_index_columns(dbk, object_id, index_id);

CREATE TABLE cat_sysforeignkeys(dbk INTEGER, constid int, fkeyid int, rkeyid int,
  fkey smallint, rkey smallint, keyno smallint);
CREATE INDEX cat_sysforeignkeys_f ON cat_sysforeignkeys(dbk, fkeyid);

CREATE TABLE cat_extended_properties(dbk INTEGER, class tinyint,
  class_desc nvarchar(60) COLLATE SSCI, major_id int, minor_id int,
  name nvarchar(128) COLLATE SSCI, value sql_variant_blob);
CREATE INDEX cat_extended_properties_id ON cat_extended_properties(dbk, major_id, minor_id);

CREATE TABLE cat_sql_modules(dbk INTEGER, object_id int, definition nvarchar(-1) COLLATE SSCI,
  uses_ansi_nulls bit, uses_quoted_identifier bit, is_schema_bound bit,
  uses_database_collation bit, is_recompiled bit, null_on_null_input bit,
  execute_as_principal_id int);
CREATE INDEX cat_sql_modules_id ON cat_sql_modules(dbk, object_id);

-- CHECK and FOREIGN KEY constraints: what sys.check_constraints and sys.foreign_keys add to
-- sys.objects, and the columns each check reads.
CREATE TABLE cat_constraints(dbk INTEGER, object_id int, parent_column_id int, is_disabled bit,
  is_not_for_replication bit, is_not_trusted bit, is_system_named bit,
  definition nvarchar(-1) COLLATE SSCI, uses_database_collation bit, referenced_object_id int,
  key_index_id int, delete_referential_action tinyint,
  delete_referential_action_desc nvarchar(60) COLLATE SSCI, update_referential_action tinyint,
  update_referential_action_desc nvarchar(60) COLLATE SSCI);
CREATE INDEX cat_constraints_id ON cat_constraints(dbk, object_id);
CREATE TABLE cat_check_columns(dbk INTEGER, id int, tableid int, colid smallint);
CREATE INDEX cat_check_columns_id ON cat_check_columns(dbk, tableid, colid);
CREATE TRIGGER cat_constraints_del AFTER DELETE ON cat_sysobjects WHEN trim(old.xtype) IN ('C', 'F') BEGIN
  DELETE FROM cat_constraints WHERE dbk = old.dbk AND object_id = old.id;
  DELETE FROM cat_check_columns WHERE dbk = old.dbk AND id = old.id;
  DELETE FROM cat_syscomments WHERE dbk = old.dbk AND id = old.id;
END;
CREATE VIEW cat_check_constraints AS SELECT o.dbk AS dbk, o.name AS name, o.object_id AS object_id,
  o.principal_id AS principal_id, o.schema_id AS schema_id, o.parent_object_id AS parent_object_id,
  o.type AS type, o.type_desc AS type_desc, o.create_date AS create_date, o.modify_date AS modify_date,
  o.is_ms_shipped AS is_ms_shipped, o.is_published AS is_published,
  o.is_schema_published AS is_schema_published, k.is_disabled AS is_disabled,
  k.is_not_for_replication AS is_not_for_replication, k.is_not_trusted AS is_not_trusted,
  k.parent_column_id AS parent_column_id, k.definition AS definition,
  k.uses_database_collation AS uses_database_collation, k.is_system_named AS is_system_named
  FROM cat_objects o JOIN cat_constraints k ON k.dbk = o.dbk AND k.object_id = o.object_id
  WHERE o.type = 'C ';
CREATE VIEW cat_foreign_keys AS SELECT o.dbk AS dbk, o.name AS name, o.object_id AS object_id,
  o.principal_id AS principal_id, o.schema_id AS schema_id, o.parent_object_id AS parent_object_id,
  o.type AS type, o.type_desc AS type_desc, o.create_date AS create_date, o.modify_date AS modify_date,
  o.is_ms_shipped AS is_ms_shipped, o.is_published AS is_published,
  o.is_schema_published AS is_schema_published, k.referenced_object_id AS referenced_object_id,
  k.key_index_id AS key_index_id, k.is_disabled AS is_disabled,
  k.is_not_for_replication AS is_not_for_replication, k.is_not_trusted AS is_not_trusted,
  k.delete_referential_action AS delete_referential_action,
  k.delete_referential_action_desc AS delete_referential_action_desc,
  k.update_referential_action AS update_referential_action,
  k.update_referential_action_desc AS update_referential_action_desc, k.is_system_named AS is_system_named
  FROM cat_objects o JOIN cat_constraints k ON k.dbk = o.dbk AND k.object_id = o.object_id
  WHERE o.type = 'F ';

-- Triggers' state and what each module's body names (engine/modules).
CREATE TABLE cat_module_info(dbk INTEGER, object_id int, is_disabled bit, is_instead_of_trigger bit, events int);
CREATE INDEX cat_module_info_id ON cat_module_info(dbk, object_id);
CREATE TABLE cat_sql_dependencies(dbk INTEGER, referencing_id int, is_schema_bound_reference bit,
  referenced_database_name nvarchar(128) COLLATE SSCI, referenced_schema_name nvarchar(128) COLLATE SSCI,
  referenced_entity_name nvarchar(128) COLLATE SSCI, referenced_id int, referenced_minor_id int,
  is_caller_dependent bit);
CREATE TABLE cat_parameters(dbk INTEGER, object_id int, name nvarchar(128) COLLATE SSCI, parameter_id int,
  system_type_id tinyint, user_type_id int, max_length smallint, precision tinyint, scale tinyint,
  is_output bit, is_readonly bit, known int);
CREATE INDEX cat_sql_dependencies_ref ON cat_sql_dependencies(dbk, referenced_id);

CREATE TABLE cat_alias_types(dbk INTEGER, name nvarchar(128) COLLATE SSCI, xtype tinyint, status tinyint,
  xusertype smallint, length smallint, xprec tinyint, xscale tinyint, tdefault int,
  domain int, uid smallint, reserved smallint, collationid int, usertype smallint,
  variable bit, allownulls bit, type tinyint, printfmt varchar(255), prec smallint,
  scale tinyint, collation nvarchar(128) COLLATE SSCI);

CREATE TABLE ut_identity(dbk INTEGER, id INTEGER, current INTEGER, PRIMARY KEY(dbk, id));

CREATE TABLE cat_systypes(name nvarchar(128) COLLATE SSCI, xtype tinyint, status tinyint,
  xusertype smallint, length smallint, xprec tinyint, xscale tinyint, tdefault int,
  domain int, uid smallint, reserved smallint, collationid int, usertype smallint,
  variable bit, allownulls bit, type tinyint, printfmt varchar(255), prec smallint,
  scale tinyint, collation nvarchar(128) COLLATE SSCI);
)sql";

}  // namespace

void createStoreSchema(StoreConn &conn)
{
    conn.exec(schemaSql);
}

}  // namespace sqlsim
