-- Catering database: branches, services, dishes, menu types, operators and
-- the code pictures. Firebird 3, dialect 3, database character set UTF8.
-- Codes are stored already fitted to their width (branch "0001", service
-- "00001", menu type "0000000001"). Names are unquoted, so upper case as the
-- queries write them.
--
-- The lookups run texts written for InterBase here; what they use is
-- created first: the selectable procedure PARAM and the functions NVLSTR
-- and INSTR (PSQL, Firebird 3), and SUBSTR, which the report definitions
-- use on every engine. Texts are VARCHAR(4000): a parameter (e.g. a branch
-- list) may be that long.

SET TERM ^ ;

-- PARAM(value): one row whose column PARAM holds value, so that a parameter
-- joins the FROM list ("PARAM(:P_CDFILIAL) P_CDFILIAL") and is read as
-- P_CDFILIAL.PARAM.
CREATE PROCEDURE PARAM (VALOR VARCHAR(4000))
RETURNS (PARAM VARCHAR(4000))
AS
BEGIN
    PARAM = VALOR;
    SUSPEND;
END^

-- NVLSTR(a, b): a when it is neither null nor empty, else b.
CREATE FUNCTION NVLSTR (A VARCHAR(4000), B VARCHAR(4000))
RETURNS VARCHAR(4000)
AS
BEGIN
    IF (A IS NULL OR A = '') THEN
        RETURN B;
    RETURN A;
END^

-- INSTR(text, sub): 1-based position of sub in text, 0 when absent, null
-- when either is null.
CREATE FUNCTION INSTR (TXT VARCHAR(4000), SUB VARCHAR(4000))
RETURNS INTEGER
AS
BEGIN
    IF (TXT IS NULL OR SUB IS NULL) THEN
        RETURN NULL;
    RETURN POSITION(SUB IN TXT);
END^

-- SUBSTR(text, start, length): length characters from the 1-based start.
CREATE FUNCTION SUBSTR (TXT VARCHAR(4000), START_AT INTEGER, LEN INTEGER)
RETURNS VARCHAR(4000)
AS
BEGIN
    RETURN SUBSTRING(TXT FROM START_AT FOR LEN);
END^

SET TERM ; ^

-- Branches. A central kitchen supplies schools; it has IDFILCENTPME = 'S'.
-- CDFILCENTPME names the branch's central kitchen, NULL when it has none
-- (a central kitchen is its own and also leaves it NULL).
CREATE TABLE FILIAL (
    CDFILIAL     VARCHAR(4)  NOT NULL,
    NMFILIAL     VARCHAR(30) NOT NULL,
    IDCNTRRESC   VARCHAR(1)  DEFAULT 'N' NOT NULL CHECK (IDCNTRRESC IN ('S', 'N')),
    IDFILCENTPME VARCHAR(1)  DEFAULT 'N' NOT NULL CHECK (IDFILCENTPME IN ('S', 'N')),
    CDFILCENTPME VARCHAR(4),
    CONSTRAINT PK_FILIAL PRIMARY KEY (CDFILIAL),
    CONSTRAINT FK_FILIAL_CENTRAL FOREIGN KEY (CDFILCENTPME) REFERENCES FILIAL (CDFILIAL)
);
CREATE INDEX IX_FILIAL_CENTRAL ON FILIAL (CDFILCENTPME);

-- Services of a branch. The service code is unique within its branch only.
-- IDTIPOSERV 'A' marks services that the dish reports do not offer.
CREATE TABLE SERVICO (
    CDFILIAL   VARCHAR(4)  NOT NULL,
    CDSERVFILI VARCHAR(5)  NOT NULL,
    NMSERVICO  VARCHAR(40) NOT NULL,
    IDTIPOSERV VARCHAR(1)  DEFAULT 'N' NOT NULL,
    CONSTRAINT PK_SERVICO PRIMARY KEY (CDFILIAL, CDSERVFILI),
    CONSTRAINT FK_SERVICO_FILIAL FOREIGN KEY (CDFILIAL) REFERENCES FILIAL (CDFILIAL)
);

-- Dishes. CDFILAUXPRAT is 'P' for the standard set or the owning branch's
-- code; CDNVPRATO is the level of the code in the dish picture ('1' group,
-- '2' subgroup, '3' dish with the sample picture).
CREATE TABLE PRATO (
    CDPRATO      VARCHAR(10) NOT NULL,
    CDFILAUXPRAT VARCHAR(4)  NOT NULL,
    NMPRATO      VARCHAR(40) NOT NULL,
    CDNVPRATO    VARCHAR(1)  NOT NULL,
    CONSTRAINT PK_PRATO PRIMARY KEY (CDPRATO, CDFILAUXPRAT)
);
-- The lookups filter by owner ('P' or one branch) and order by code.
CREATE INDEX IX_PRATO_DONO ON PRATO (CDFILAUXPRAT, CDPRATO);

-- Menu types of a central kitchen.
CREATE TABLE TIPOCARD (
    CDFILCENTPME VARCHAR(4)  NOT NULL,
    CDTIPOCARD   VARCHAR(10) NOT NULL,
    NMTIPOCARD   VARCHAR(50) NOT NULL,
    CONSTRAINT PK_TIPOCARD PRIMARY KEY (CDFILCENTPME, CDTIPOCARD),
    CONSTRAINT FK_TIPOCARD_CENTRAL FOREIGN KEY (CDFILCENTPME) REFERENCES FILIAL (CDFILIAL)
);

-- Operators. IDTODASFILI = 'S': the operator may use every branch;
-- otherwise only the branches listed in OPERFILI.
CREATE TABLE OPERADOR (
    CDOPERADOR  VARCHAR(10) NOT NULL,
    NMOPERADOR  VARCHAR(40) NOT NULL,
    IDTODASFILI VARCHAR(1)  DEFAULT 'N' NOT NULL CHECK (IDTODASFILI IN ('S', 'N')),
    CONSTRAINT PK_OPERADOR PRIMARY KEY (CDOPERADOR)
);

CREATE TABLE OPERFILI (
    CDOPERADOR VARCHAR(10) NOT NULL,
    CDFILIAL   VARCHAR(4)  NOT NULL,
    CONSTRAINT PK_OPERFILI PRIMARY KEY (CDOPERADOR, CDFILIAL),
    CONSTRAINT FK_OPERFILI_OPERADOR FOREIGN KEY (CDOPERADOR) REFERENCES OPERADOR (CDOPERADOR),
    CONSTRAINT FK_OPERFILI_FILIAL FOREIGN KEY (CDFILIAL) REFERENCES FILIAL (CDFILIAL)
);

-- Code pictures: for each picture type (e.g. 'PRATO'), the accumulated code
-- length up to and including each level, levels numbered from 1.
CREATE TABLE CODEPICTURE (
    TPPICT    VARCHAR(10) NOT NULL,
    NRNIVEL   INTEGER     NOT NULL CHECK (NRNIVEL >= 1),
    NRTAMACUM INTEGER     NOT NULL CHECK (NRTAMACUM >= 1),
    CONSTRAINT PK_CODEPICTURE PRIMARY KEY (TPPICT, NRNIVEL)
);
