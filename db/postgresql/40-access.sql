-- Sign-in, sessions and the record of who did what. PostgreSQL dialect.
-- Only the application server and the hosts write these tables. Times are
-- Unix times in seconds (UTC).

-- An operator's password, as an argon2id hash string (never the password).
-- QTFALHAS counts wrong passwords since DTPRIMFALHA (a window of 15
-- minutes); IDFALHACONH says one of them came from DSENDERCONH, the address
-- of the operator's last good sign-in. DTBLOQATE ends a temporary lock;
-- IDBLOQTOTAL says the lock also holds at DSENDERCONH (else the operator's
-- own address is let through, so that nobody else can keep them out).
-- IDBLOQUEADO is an administrator's lock, lifted only by an administrator.
CREATE TABLE OPERSENHA (
    CDOPERADOR   VARCHAR(10)  NOT NULL,
    DSHASHSENHA  VARCHAR(255) NOT NULL,
    QTFALHAS     INTEGER      NOT NULL DEFAULT 0,
    DTPRIMFALHA  BIGINT       NULL,
    IDFALHACONH  VARCHAR(1)   NOT NULL DEFAULT 'N' CHECK (IDFALHACONH IN ('S', 'N')),
    DTBLOQATE    BIGINT       NULL,
    IDBLOQTOTAL  VARCHAR(1)   NOT NULL DEFAULT 'N' CHECK (IDBLOQTOTAL IN ('S', 'N')),
    IDBLOQUEADO  VARCHAR(1)   NOT NULL DEFAULT 'N' CHECK (IDBLOQUEADO IN ('S', 'N')),
    IDTROCASENHA VARCHAR(1)   NOT NULL DEFAULT 'N' CHECK (IDTROCASENHA IN ('S', 'N')),
    DTALTERSENHA BIGINT       NOT NULL,
    DSENDERCONH  VARCHAR(64)  NULL,
    CONSTRAINT PK_OPERSENHA PRIMARY KEY (CDOPERADOR),
    CONSTRAINT FK_OPERSENHA_OPERADOR FOREIGN KEY (CDOPERADOR) REFERENCES OPERADOR (CDOPERADOR)
);

-- Open sessions: the hash of the token (the token itself is never kept),
-- when the session began and when it was last used.
CREATE TABLE OPERSESSAO (
    DSHASHTOKEN VARCHAR(64) NOT NULL,
    CDOPERADOR  VARCHAR(10) NOT NULL,
    DTINICIO    BIGINT      NOT NULL,
    DTULTUSO    BIGINT      NOT NULL,
    DSENDERECO  VARCHAR(64) NOT NULL,
    CONSTRAINT PK_OPERSESSAO PRIMARY KEY (DSHASHTOKEN),
    CONSTRAINT FK_OPERSESSAO_OPERADOR FOREIGN KEY (CDOPERADOR) REFERENCES OPERADOR (CDOPERADOR)
);
CREATE INDEX IX_OPERSESSAO_OPERADOR ON OPERSESSAO (CDOPERADOR);

-- Wrong passwords by client address, for slowing an address down.
CREATE TABLE ACESSOFALHA (
    DSENDERECO VARCHAR(64) NOT NULL,
    DTFALHA    BIGINT      NOT NULL
);
CREATE INDEX IX_ACESSOFALHA ON ACESSOFALHA (DSENDERECO, DTFALHA);

-- What happened: DSEVENTO is one of entrada, falha, bloqueio, saida,
-- chamada, recusa, relatorio (docs/database.md); CDOPERADOR is null when
-- nobody signed in.
CREATE TABLE AUDITORIA (
    NRAUDITORIA BIGINT GENERATED ALWAYS AS IDENTITY,
    DTEVENTO    BIGINT       NOT NULL,
    DSEVENTO    VARCHAR(20)  NOT NULL,
    CDOPERADOR  VARCHAR(10)  NULL,
    DSENDERECO  VARCHAR(64)  NULL,
    DSDETALHE   VARCHAR(400) NULL,
    CONSTRAINT PK_AUDITORIA PRIMARY KEY (NRAUDITORIA)
);
CREATE INDEX IX_AUDITORIA_DATA ON AUDITORIA (DTEVENTO);
