#pragma once
// The window's database objects with their settings: three connections, four query data
// sets, one command and the grid's data source, bound as the commands expect. Nothing is
// connected when they are made.

#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/AdoDataSource.h"
#include "db/AdoQuery.h"

namespace dbsync {

struct DatabaseObjects {
    AdoConnection ADOConnection1{300};  // sample server, no initial database
    AdoConnection ADOConnection2{0};    // target server, no initial database
    AdoConnection ADOConnection3{300};  // target server on the target database
    AdoQuery ADOQuery1{&ADOConnection1, 0};   // sample server's database list
    AdoQuery ADOQuery2{&ADOConnection2, 0};   // comparison result, the grid's data
    AdoQuery ADOQuery3{&ADOConnection3, 30};  // view and procedure statements, backup
    AdoQuery ADOQuery4{&ADOConnection2, 30};  // target server's database list, table statements
    AdoCommand ADOCommand1{&ADOConnection3, 30};  // the enabling statements
    AdoDataSource DataSource1{&ADOQuery2};
};

}  // namespace dbsync
