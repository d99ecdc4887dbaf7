-- dbsync demo: creates the sample (reference) database. Run it once, then sample.sql.
CREATE DATABASE dbsync_demo_sample
GO
