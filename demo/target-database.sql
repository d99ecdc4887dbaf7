-- dbsync demo: creates the target database, the one the tool changes. Run it once, then
-- target.sql.
CREATE DATABASE dbsync_demo_target
GO
