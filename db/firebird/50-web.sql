-- What the web host remembers for each operator. Firebird 3 dialect.
-- Only the web host writes this table. Times are Unix times in seconds (UTC).

-- The filters of each report as the operator left them (a JSON object with
-- the report's name and its controls' values, docs/web.md), one row per
-- report; IDULTIMO marks the report the operator chose last, which the form
-- opens with next time.
CREATE TABLE WEBFILTRO (
    CDOPERADOR  VARCHAR(10)   NOT NULL,
    NMRELATORIO VARCHAR(120)  NOT NULL,
    DSFILTRO    VARCHAR(4000) NOT NULL,
    IDULTIMO    VARCHAR(1)    DEFAULT 'N' NOT NULL CHECK (IDULTIMO IN ('S', 'N')),
    DTGRAVACAO  BIGINT        NOT NULL,
    CONSTRAINT PK_WEBFILTRO PRIMARY KEY (CDOPERADOR, NMRELATORIO),
    CONSTRAINT FK_WEBFILTRO_OPERADOR FOREIGN KEY (CDOPERADOR) REFERENCES OPERADOR (CDOPERADOR)
);
