-- ORT's configuration database ("ORTConf2005.mdb", SQLite underneath): ports, channels and the
-- quality context of every sequence. ORT expects the file and these tables to exist.
CREATE TABLE PUERTOS (
  Puert INTEGER PRIMARY KEY,
  Conex VARCHAR(5),
  Open  INTEGER            -- -1 open at start, 0 or NULL closed
);
CREATE TABLE CANALES (
  Puert INTEGER NOT NULL,
  Canal INTEGER NOT NULL,
  Descr VARCHAR(30),
  PRIMARY KEY (Puert, Canal)
);
CREATE TABLE CONF (
  Puert  INTEGER NOT NULL,
  Canal  INTEGER NOT NULL,
  Secue  INTEGER NOT NULL,
  Opera  VARCHAR(8),
  Estac  VARCHAR(4),
  Maqui  VARCHAR(8),
  Produ  VARCHAR(16),
  Forma  VARCHAR(8),
  Carac  VARCHAR(10),
  EAdic1 VARCHAR(10),
  EAVal1 VARCHAR(20),
  EAdic2 VARCHAR(10),
  EAVal2 VARCHAR(20),
  DTMP   REAL,
  PRIMARY KEY (Puert, Canal, Secue)
);
