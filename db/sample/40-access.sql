-- Passwords of the sample operators (docs/database.md lists them):
--   1  cozinha-central-01
--   2  filiais-0002-0003
--   3  filial-0006-jose
-- Argon2id hashes made by `pla013 operator add`; changed on 2024-12-01.
INSERT INTO OPERSENHA (CDOPERADOR, DSHASHSENHA, DTALTERSENHA) VALUES ('1', '$argon2id$v=19$m=65536,t=2,p=1$jaMURzATMzbVRgS2g3uc1A$537ekekHcfBw81VTGFjLvKTIeX2BaeHBUAtXY5+csIE', 1733011200);
INSERT INTO OPERSENHA (CDOPERADOR, DSHASHSENHA, DTALTERSENHA) VALUES ('2', '$argon2id$v=19$m=65536,t=2,p=1$0OVu8rmQVB0LxTqmmmHhzQ$81V1PHu8VOdaw35/R1hfTrAcEcXw4rjZPteHsgaeuFQ', 1733011200);
INSERT INTO OPERSENHA (CDOPERADOR, DSHASHSENHA, DTALTERSENHA) VALUES ('3', '$argon2id$v=19$m=65536,t=2,p=1$lkMGKhcb3z4AJ3JpUPoK/Q$JtgZ9gy9KSN/4r8ydgJ22N0SHCgU7uEprTvlRlWPP7s', 1733011200);
