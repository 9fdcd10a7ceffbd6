-- Catering database: branches, services, dishes, menu types, operators and
-- the code pictures. SQLite dialect. Codes are stored already fitted to their
-- width (branch "0001", service "00001", menu type "0000000001").
-- NVL and NVLSTR are registered by the database adapter on every connection;
-- INSTR is built into SQLite.

-- Branches. A central kitchen supplies schools; it has IDFILCENTPME = 'S'.
-- CDFILCENTPME names the branch's central kitchen, NULL when it has none
-- (a central kitchen is its own and also leaves it NULL).
CREATE TABLE FILIAL (
    CDFILIAL     VARCHAR(4)  NOT NULL,
    NMFILIAL     VARCHAR(30) NOT NULL,
    IDCNTRRESC   VARCHAR(1)  NOT NULL DEFAULT 'N' CHECK (IDCNTRRESC IN ('S', 'N')),
    IDFILCENTPME VARCHAR(1)  NOT NULL DEFAULT 'N' CHECK (IDFILCENTPME IN ('S', 'N')),
    CDFILCENTPME VARCHAR(4)  NULL,
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
    IDTIPOSERV VARCHAR(1)  NOT NULL DEFAULT 'N',
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
    IDTODASFILI VARCHAR(1)  NOT NULL DEFAULT 'N' CHECK (IDTODASFILI IN ('S', 'N')),
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
