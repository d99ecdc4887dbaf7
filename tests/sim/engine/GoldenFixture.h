#pragma once
// Two databases with one deliberate difference of each kind the comparison queries report: the
// objects only, without the database they go into. Batches are separated by lines "go".

namespace sqlsim::test {

inline const char *const kGoldenSampleObjects = R"sql(
create table common (id int not null, c_ident int identity(1,1), c_type int, c_null int not null,
  c_len varchar(10), c_scale decimal(10,2), c_def int default 0, c_desc int, same nvarchar(20), c_only_s int)
go
exec sp_addextendedproperty 'MS_Description', 'a', 'SCHEMA', 'dbo', 'TABLE', 'common', 'COLUMN', 'c_desc'
go
create table only_s (x int)
go
create table pk_t (id int primary key)
go
create table child (id int, pid int constraint FK_child_pk references pk_t(id))
go
create view v_same as select 1 as a
go
create view v_diff as select 1 as a
go
create proc p_sample as select 1
go
create view x_kind as select 1 as a
go
create view v_sys as select 1 as a
go
exec sp_MS_marksystemobject 'v_sys'
go
)sql";

inline const char *const kGoldenTargetObjects = R"sql(
create table common (id int not null, c_ident int not null, c_type bigint, c_null int null,
  c_len varchar(20), c_scale decimal(10,4), c_def int default 1, c_desc int, same nvarchar(20), gone int)
go
alter table common drop column gone
go
alter table common add c_only_t int
go
exec sp_addextendedproperty 'MS_Description', 'b', 'SCHEMA', 'dbo', 'TABLE', 'common', 'COLUMN', 'c_desc'
go
create table only_t (y int)
go
create table pk_t (id int not null)
go
create table child (id int, pid int)
go
create view v_same as select 1 as a
go
create view v_diff as select 2 as a
go
create proc p_target as select 1
go
create proc x_kind as select 1
go
create view v_sys as select 2 as a
go
exec sp_MS_marksystemobject 'v_sys'
go
)sql";

}  // namespace sqlsim::test
