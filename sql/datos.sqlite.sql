-- A Metrovax data table (SQLite file kind). Each format, machine and product has its own file,
-- DirDatos/<format>/<machine>/<product>.MDB, holding one table "Datos": one row per sample, one
-- column per characteristic of the format. Metrovax creates these tables, ORT only adds rows and
-- fills their columns. The demo and the tests build one from this file.
-- Fecha holds the row's local date and time as "yyyy-MM-dd HH:mm:ss".
CREATE TABLE Datos (
  N INTEGER PRIMARY KEY,
  Fecha TEXT,
  Turno VARCHAR(10),
  Operador VARCHAR(8),
  "DIAM" DOUBLE,
  "LARGO" DOUBLE,
  "LOTE" VARCHAR(20),
  "TEMP" DOUBLE
);
