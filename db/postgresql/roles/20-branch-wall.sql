-- The branch wall: the application server's role (pla013_servidor) reads
-- the rows of a branch only while a call of an operator who may use that
-- branch runs. The server names the signed-in operator inside each call's
-- transaction, transaction-local:
--   SELECT set_config('pla013.operador', :operator, true)
-- With no operator named (never set, or the empty text a finished
-- transaction leaves), the role sees no branch rows at all; the standard
-- dishes (CDFILAUXPRAT = 'P') and their recipes and sheets belong to no
-- branch and stay visible.
--
-- The wall is a restrictive policy for that role only: the office role, the
-- owner and every other role read as their grants say (a permissive policy
-- for everyone keeps row security from hiding rows from them). The owner is
-- not forced through the policies, which is also what lets the functions
-- below, which run as the owner, read OPERADOR, OPERFILI and FILIAL without
-- recursing into a policy.
--
-- OPERFILI has no wall: it is the wall's own definition (which operator may
-- use which branch), read at sign-in before any operator is named, and holds
-- no branch data.

DO $$
BEGIN
    -- The search path is fixed to the catering schema, temporary objects
    -- last, so that no caller can put tables of its own in their place.
    EXECUTE format($create$
        -- True when the operator named in pla013.operador may use the
        -- branch: every branch (OPERADOR.IDTODASFILI = 'S') or the ones
        -- OPERFILI lists for it.
        CREATE OR REPLACE FUNCTION pla013_filial_visivel(filial text) RETURNS boolean
            LANGUAGE sql STABLE SECURITY DEFINER PARALLEL SAFE
            SET search_path = pg_catalog, %1$I, pg_temp
        AS $body$
            SELECT EXISTS (
                SELECT 1
                FROM OPERADOR O
                WHERE O.CDOPERADOR = NULLIF(current_setting('pla013.operador', true), '')
                  AND (O.IDTODASFILI = 'S'
                       OR EXISTS (SELECT 1 FROM OPERFILI F
                                  WHERE F.CDOPERADOR = O.CDOPERADOR AND F.CDFILIAL = $1)))
        $body$;

        -- The same for a branch, or for a central kitchen that supplies a
        -- branch the operator may use: a school works with its kitchen's
        -- menu types and names it. The kitchen's own services, recipes and
        -- menus stay behind the wall.
        CREATE OR REPLACE FUNCTION pla013_cozinha_visivel(filial text) RETURNS boolean
            LANGUAGE sql STABLE SECURITY DEFINER PARALLEL SAFE
            SET search_path = pg_catalog, %1$I, pg_temp
        AS $body$
            SELECT pla013_filial_visivel($1)
                OR EXISTS (SELECT 1 FROM FILIAL F
                           WHERE F.CDFILCENTPME = $1 AND pla013_filial_visivel(F.CDFILIAL))
        $body$;
    $create$, current_schema());
END $$;

REVOKE ALL ON FUNCTION pla013_filial_visivel(text), pla013_cozinha_visivel(text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION pla013_filial_visivel(text), pla013_cozinha_visivel(text) TO pla013_servidor;

-- Every table that holds a branch's rows, and when the server's role sees a
-- row. A dish, its recipe or its sheet belongs to its owner CDFILAUXPRAT
-- ('P': the standard set); a branch's local or service recipe and menu item
-- need both the branch and the dish's owner.
DO $$
DECLARE
    parede record;
BEGIN
    FOR parede IN SELECT * FROM (VALUES
        ('filial',       'pla013_cozinha_visivel(CDFILIAL)'),
        ('tipocard',     'pla013_cozinha_visivel(CDFILCENTPME)'),
        ('servico',      'pla013_filial_visivel(CDFILIAL)'),
        ('cardapio',     'pla013_filial_visivel(CDFILIAL)'),
        ('prato',        'CDFILAUXPRAT = ''P'' OR pla013_filial_visivel(CDFILAUXPRAT)'),
        ('receitaprato', 'CDFILAUXPRAT = ''P'' OR pla013_filial_visivel(CDFILAUXPRAT)'),
        ('pratoficha',   'CDFILAUXPRAT = ''P'' OR pla013_filial_visivel(CDFILAUXPRAT)'),
        ('receitalocal', 'pla013_filial_visivel(CDFILIAL) AND (CDFILAUXPRAT IN (''P'', CDFILIAL) '
                         'OR pla013_filial_visivel(CDFILAUXPRAT))'),
        ('receitaserv',  'pla013_filial_visivel(CDFILIAL) AND (CDFILAUXPRAT IN (''P'', CDFILIAL) '
                         'OR pla013_filial_visivel(CDFILAUXPRAT))'),
        ('itemcardapio', 'pla013_filial_visivel(CDFILIAL) AND (CDFILAUXPRAT IN (''P'', CDFILIAL) '
                         'OR pla013_filial_visivel(CDFILAUXPRAT))')) AS w(tabela, visivel) LOOP
        EXECUTE format('ALTER TABLE %I ENABLE ROW LEVEL SECURITY', parede.tabela);
        EXECUTE format('ALTER TABLE %I NO FORCE ROW LEVEL SECURITY', parede.tabela);
        EXECUTE format('DROP POLICY IF EXISTS pla013_livre ON %I', parede.tabela);
        EXECUTE format('CREATE POLICY pla013_livre ON %I USING (true) WITH CHECK (true)', parede.tabela);
        EXECUTE format('DROP POLICY IF EXISTS pla013_parede ON %I', parede.tabela);
        EXECUTE format('CREATE POLICY pla013_parede ON %I AS RESTRICTIVE FOR SELECT TO pla013_servidor USING (%s)',
                       parede.tabela, parede.visivel);
    END LOOP;
END $$;
