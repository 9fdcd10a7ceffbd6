-- Access roles of a shared catering database on PostgreSQL. Applied by
-- "pla013 db roles URL", never by "db init", in one transaction, by the owner
-- of the catering tables with the right to create roles. Running it again
-- brings every grant back to what this file says (also after a schema
-- change, to cover new tables).
--
--   pla013_servidor    the application server: reads every table of the
--                      schema; writes only its access tables (credentials,
--                      sessions, audit log, failed sign-ins); sees the rows
--                      of a branch only through the branch wall
--                      (20-branch-wall.sql).
--   pla013_escritorio  office desktops that connect directly: read the
--                      catering tables (not the access tables) and add rows
--                      to the audit log.
--
-- Both are group roles without LOGIN that own nothing and belong to no
-- role; an administrator makes login users members of them:
--   CREATE ROLE cozinha_srv LOGIN PASSWORD '...' IN ROLE pla013_servidor;
-- Neither creates objects, temporary tables included, in this database.

DO $$
DECLARE
    grupo text;
    dono text;
BEGIN
    FOREACH grupo IN ARRAY ARRAY['pla013_servidor', 'pla013_escritorio'] LOOP
        IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = grupo) THEN
            BEGIN
                EXECUTE format('CREATE ROLE %I NOLOGIN', grupo);
            EXCEPTION WHEN duplicate_object OR unique_violation THEN
                NULL;  -- another run created it meanwhile (roles belong to the whole server)
            END;
        END IF;
        -- Attributes are not inherited by the members, but a group role that
        -- can log in, or more, is no longer only a group.
        IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = grupo AND (rolcanlogin OR rolsuper OR rolcreatedb
                   OR rolcreaterole OR rolreplication OR rolbypassrls)) THEN
            EXECUTE format('ALTER ROLE %I NOLOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS',
                           grupo);
        END IF;
        -- Whatever it was made a member of (reading server files, running
        -- server programs, signalling backends, reading every table...), its
        -- members would inherit.
        FOR dono IN SELECT g.rolname FROM pg_auth_members m
                    JOIN pg_roles g ON g.oid = m.roleid
                    JOIN pg_roles u ON u.oid = m.member
                    WHERE u.rolname = grupo LOOP
            EXECUTE format('REVOKE %I FROM %I', dono, grupo);
        END LOOP;
        -- An owner has every right on what it owns, whatever is granted here.
        IF EXISTS (SELECT 1 FROM pg_shdepend d JOIN pg_roles r ON r.oid = d.refobjid
                   WHERE r.rolname = grupo AND d.deptype = 'o') THEN
            RAISE EXCEPTION 'o papel % é dono de objetos; transfira-os a outro dono (REASSIGN OWNED BY %) e repita',
                grupo, grupo;
        END IF;
    END LOOP;
END $$;

DO $$
DECLARE
    banco constant text := quote_ident(current_database());
    esquema constant text := quote_ident(current_schema());
    -- The server's own tables: credentials, sessions, audit log, failed
    -- sign-ins per address. They may not exist yet; what exists is granted.
    acesso constant text[] := ARRAY['opersenha', 'opersessao', 'auditoria', 'acessofalha'];
    escrita record;
    tabela regclass;
    sequencia regclass;
BEGIN
    -- From nothing, so that a run also takes back what was granted by hand.
    EXECUTE 'REVOKE ALL ON DATABASE ' || banco || ' FROM pla013_servidor, pla013_escritorio';
    EXECUTE 'REVOKE ALL ON SCHEMA ' || esquema || ' FROM pla013_servidor, pla013_escritorio';
    EXECUTE 'REVOKE ALL ON ALL TABLES IN SCHEMA ' || esquema || ' FROM pla013_servidor, pla013_escritorio';
    EXECUTE 'REVOKE ALL ON ALL SEQUENCES IN SCHEMA ' || esquema || ' FROM pla013_servidor, pla013_escritorio';
    EXECUTE 'REVOKE ALL ON ALL FUNCTIONS IN SCHEMA ' || esquema || ' FROM pla013_servidor, pla013_escritorio';

    -- Every role inherits PUBLIC's rights: no objects and no temporary
    -- tables through it in this database.
    EXECUTE 'REVOKE CREATE, TEMPORARY ON DATABASE ' || banco || ' FROM PUBLIC';
    EXECUTE 'REVOKE CREATE ON SCHEMA ' || esquema || ' FROM PUBLIC';
    IF EXISTS (SELECT 1 FROM pg_namespace WHERE nspname = 'public') THEN
        REVOKE CREATE ON SCHEMA public FROM PUBLIC;
    END IF;

    EXECUTE 'GRANT CONNECT ON DATABASE ' || banco || ' TO pla013_servidor, pla013_escritorio';
    EXECUTE 'GRANT USAGE ON SCHEMA ' || esquema || ' TO pla013_servidor, pla013_escritorio';

    -- Reading: the server every table, the office every table but the
    -- server's access tables (password hashes and session keys above all).
    EXECUTE 'GRANT SELECT ON ALL TABLES IN SCHEMA ' || esquema || ' TO pla013_servidor';
    FOR tabela IN SELECT c.oid::regclass FROM pg_class c
                  WHERE c.relnamespace = current_schema()::regnamespace
                    AND c.relkind IN ('r', 'p', 'v', 'm', 'f')
                    AND c.relname <> ALL (acesso) LOOP
        EXECUTE format('GRANT SELECT ON %s TO pla013_escritorio', tabela);
    END LOOP;

    -- Writing: only what the hosts write, with the sequences that number
    -- those tables' rows. The server counts wrong passwords and rehashes
    -- (passwords are set by the administrator, as the owner), keeps the
    -- sessions and the failures by address, and only adds to the audit.
    FOR escrita IN SELECT * FROM (VALUES
        ('opersenha',   'UPDATE',                 'pla013_servidor'),
        ('opersessao',  'INSERT, UPDATE, DELETE', 'pla013_servidor'),
        ('auditoria',   'INSERT',                 'pla013_servidor'),
        ('acessofalha', 'INSERT, DELETE',         'pla013_servidor'),
        ('auditoria',   'INSERT',                 'pla013_escritorio')) AS w(nome, direitos, papel) LOOP
        tabela := to_regclass(quote_ident(current_schema()) || '.' || escrita.nome);
        CONTINUE WHEN tabela IS NULL;
        EXECUTE format('GRANT %s ON %s TO %I', escrita.direitos, tabela, escrita.papel);
        FOR sequencia IN SELECT d.objid::regclass FROM pg_depend d
                         JOIN pg_class s ON s.oid = d.objid AND s.relkind = 'S'
                         WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass
                           AND d.refobjid = tabela AND d.deptype IN ('a', 'i') LOOP
            EXECUTE format('GRANT USAGE ON SEQUENCE %s TO %I', sequencia, escrita.papel);
        END LOOP;
    END LOOP;
END $$;

-- The functions the lookups call, whatever PUBLIC may have lost.
GRANT EXECUTE ON FUNCTION NVL(anycompatible, anycompatible), NVLSTR(text, text), INSTR(text, text)
    TO pla013_servidor, pla013_escritorio;
