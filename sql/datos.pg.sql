-- A Metrovax data table (PostgreSQL server kind). The data tables live in the database
-- CatalogoBD & "DATA", one table "Datos_<format>_<machine>_<product>" per context: one row per
-- sample, one column per characteristic of the format. Metrovax creates these tables, ORT only
-- adds rows and fills their columns. The demo and the tests build one from this file.
-- N, Fecha, Turno and Operador are unquoted, so they are folded to lower case here and in ORT's
-- statements alike. Table and characteristic names come from configuration and are quoted, so
-- they keep their letter case.
CREATE TABLE "Datos_F1_M1_P1" (
  n INTEGER PRIMARY KEY,
  fecha TIMESTAMP,
  turno VARCHAR(10),
  operador VARCHAR(8),
  "DIAM" DOUBLE PRECISION,
  "LARGO" DOUBLE PRECISION,
  "LOTE" VARCHAR(20),
  "TEMP" DOUBLE PRECISION
);
