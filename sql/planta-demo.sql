-- A small fictional plant for the demo and the tests: operators, stations, machines, products,
-- formats, characteristics, specification limits and the connection records of the simulated
-- instruments. Plain INSERTs that both SQLite and PostgreSQL accept.
INSERT INTO USU VALUES ('OP1', 'JUAN PEREZ');
INSERT INTO USU VALUES ('ANA', 'Ana Muñoz');
INSERT INTO USU VALUES ('LUIS', 'Luis Ortega');
INSERT INTO EST VALUES ('E1', 'Torneado');
INSERT INTO EST VALUES ('E2', 'Rectificado');
INSERT INTO EXU VALUES ('OP1', 'E1');
INSERT INTO EXU VALUES ('OP1', 'E2');
INSERT INTO EXU VALUES ('ANA', 'E2');
INSERT INTO MAQ VALUES ('TORNO1', 'Torno CNC 1');
INSERT INTO MAQ VALUES ('RECT1', 'Rectificadora 1');
INSERT INTO MXE VALUES ('E1', 'TORNO1');
INSERT INTO MXE VALUES ('E2', 'RECT1');
INSERT INTO PRO VALUES ('EJE20', 'Eje 20 mm', 'Acero 1045');
INSERT INTO PRO VALUES ('BUJE8', 'Buje 8 mm', 'Bronce SAE 62');
INSERT INTO PRO VALUES ('TUBO1', 'Tubería 1/2', 'Cobre');
INSERT INTO PXM VALUES ('TORNO1', 'EJE20');
INSERT INTO PXM VALUES ('TORNO1', 'TUBO1');
INSERT INTO PXM VALUES ('RECT1', 'EJE20');
INSERT INTO PXM VALUES ('RECT1', 'BUJE8');
INSERT INTO FRM VALUES ('F1', 'Plan dimensional');
INSERT INTO FRM VALUES ('F2', 'Plan de rectificado');
INSERT INTO FXP VALUES ('EJE20', 'F1');
INSERT INTO FXP VALUES ('TUBO1', 'F1');
INSERT INTO FXP VALUES ('BUJE8', 'F2');
INSERT INTO CAR VALUES ('DIAM', 'Diámetro');
INSERT INTO CAR VALUES ('LARGO', 'Largo total');
INSERT INTO CAR VALUES ('TEMP', 'Temperatura');
INSERT INTO CAR VALUES ('LOTE', 'Lote de material');
INSERT INTO CXF VALUES ('F1', 'DIAM', 1);
INSERT INTO CXF VALUES ('F1', 'LARGO', 2);
INSERT INTO CXF VALUES ('F1', 'TEMP', 3);
INSERT INTO CXF VALUES ('F1', 'LOTE', 4);
INSERT INTO CXF VALUES ('F2', 'DIAM', 1);
INSERT INTO CXP VALUES ('TORNO1', 'EJE20', 'DIAM', 19.9, 20.1);
INSERT INTO CXP VALUES ('TORNO1', 'EJE20', 'LARGO', 99.0, 101.0);
INSERT INTO CXP VALUES ('RECT1', 'BUJE8', 'DIAM', 7.98, 8.02);
-- Connection records: key, description, type, host, TCP port, baud, parity, data, stop, buffer,
-- threshold, start position, terminator, field table.
INSERT INTO INS VALUES ('CALIB', 'Calibre digital', 'RS232', '', '', '9600', 'N', '8', '1', '', '', '1', '13', '0');
INSERT INTO INS VALUES ('XRITE', 'Espectrofotómetro X-Rite', 'RS232', '', '', '9600', 'N', '8', '1', '', '', '1', '13', '0');
INSERT INTO INS VALUES ('MUX10', 'Multiplexor de 10 canales', 'RS232', '', '', '9600', 'N', '8', '1', '', '', '1', '13', '0');
INSERT INTO INS VALUES ('GSE01', 'Indicador GSE', 'TCP/IP', '127.0.0.1', '0', '', '', '', '', '', '', '1', '13', '0');
INSERT INTO INS VALUES ('TIMER', 'Puerto de prueba por reloj', 'RS232', '', '', '', '', '', '', '', '', '1', '13', '0');
INSERT INTO INS VALUES ('TABLA', 'Instrumento con tabla de campos', 'RS232', '', '', '19200', 'E', '7', '1', '4096', '1', '1', '13', '1');
