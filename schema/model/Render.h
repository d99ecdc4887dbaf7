#pragma once
// The statements that create, change and drop each kind of object, from its definition.
// Every name is bracketed (closing brackets doubled), so blanks, quotes, keywords and Chinese
// characters in names need nothing more. Each function gives one statement of one batch.

#include "schema/model/Objects.h"

namespace dbsync::model {

// "int", "nvarchar(50)", "varchar(max)", "decimal(10,2)", "[dbo].[Phone]" for an alias type.
QString typeText(const TypeRef &type);
// A column as CREATE TABLE and ADD write it: name, type, identity, nullability, default.
QString columnText(const Column &column);

QString createType(const AliasType &type);
QString dropType(const AliasType &type);

// The table with its columns in order, identity, defaults, primary key, unique constraints
// and checks; indexes, foreign keys and triggers come as statements of their own.
QString createTable(const Table &table);
QString dropTable(const Table &table);

QString addColumn(const Table &table, const Column &column);
// Type, size and nullability; identity and default are changed by other statements.
QString alterColumn(const Table &table, const Column &column);
QString dropColumn(const Table &table, const QString &column);

QString addDefault(const Table &table, const Column &column);
QString dropConstraint(const Table &table, const QString &constraint);

// A primary key or unique constraint as ALTER TABLE ADD; an index as CREATE INDEX.
QString createIndex(const Table &table, const Index &index);
// ALTER TABLE DROP CONSTRAINT for a key, DROP INDEX for an index.
QString dropIndex(const Table &table, const Index &index);

// Added WITH CHECK, or WITH NOCHECK when the sample's is not trusted; a disabled one is
// then disabled by setCheckEnabled / setForeignKeyEnabled.
QString addCheck(const Table &table, const Check &check);
QString addForeignKey(const Table &table, const ForeignKey &key);
QString setConstraintEnabled(const Table &table, const QString &constraint, bool enabled);

// A module's own text creates it; drop by kind.
QString createModule(const Module &module);
QString dropModule(const Module &module);
QString setTriggerEnabled(const Module &trigger, bool enabled);

}  // namespace dbsync::model
