-- The demonstration's company database: the business-management product's tables the run
-- reads, declared with SQL Server type names, and a few customers, products and closed sales
-- lines of today (@HOJE@, written in by scripts/demo.sh).
create table Clientes (NumRegisto int null, Codigo varchar(10) null, Descricao varchar(100) null,
  Contribuinte varchar(15) null, Morada varchar(100) null, local varchar(60) null, CodPost varchar(15) null,
  Pais varchar(50) null, Distrito varchar(50) null, Grupo varchar(3) null, Familia varchar(3) null,
  Subfamilia varchar(3) null);
create table TabPostal (NumRegisto int null, codigo varchar(15) null, descricao varchar(60) null);
create table Produtos (NumRegisto int null, Codigo varchar(20) null, Descricao varchar(100) null,
  UnidadeVenda varchar(5) null, Grupo varchar(3) null, Familia varchar(3) null, Subfamilia varchar(3) null,
  ForneceExterno varchar(10) null, PrecoVenda1 money null, PrecoVenda2 money null, PrecoVenda3 money null,
  PrecoVenda4 money null, PrecoVenda5 money null, PrecoVenda6 money null, PrecoVenda7 money null);
create table Fornece (NumRegisto int null, Codigo varchar(10) null, Descricao varchar(60) null);
create table TabTipoMov (NumRegisto int null, Codigo varchar(3) null, Descricao varchar(50) null,
  AfectaCli varchar(10) null);
create table MovProduto (NumRegisto int null, Identifica varchar(60) null, ObsLinha varchar(100) null,
  Vendedor varchar(5) null, ValorIliq money null, TotalDesconto money null, Codigo varchar(20) null,
  Tipo varchar(3) null, Numero varchar(10) null, Ano smallint null, Data datetime null, Preco money null,
  QuantNormal numeric(18,3) null, Terceiro varchar(10) null, Clifor varchar(1) null, Fechado varchar(1) null,
  Unidade varchar(5) null);
create table ImpostosMovproduto (NumRegisto int null, Identifica varchar(60) null, CodigoImposto varchar(10) null);
create table ParamGeral (ZerarFornece smallint null, ZerarClientes smallint null, ZerarProduto smallint null);
-- The indexes a real company database has on what the run looks up one record at a time, in the
-- engine's collation (loaded by scripts/demo.sh): an index in SQLite's own collation cannot serve
-- a comparison that ignores case and trailing blanks, and every look-up would read the table.
create index IX_Clientes_Codigo on Clientes (Codigo collate TSQL_TEXT);
create index IX_TabPostal_codigo on TabPostal (codigo collate TSQL_TEXT);
create index IX_Produtos_Codigo on Produtos (Codigo collate TSQL_TEXT);
create index IX_Fornece_Codigo on Fornece (Codigo collate TSQL_TEXT);
create index IX_TabTipoMov_Codigo on TabTipoMov (Codigo collate TSQL_TEXT);
create index IX_MovProduto_Identifica on MovProduto (Identifica collate TSQL_TEXT);
create index IX_ImpostosMovproduto_Identifica on ImpostosMovproduto (Identifica collate TSQL_TEXT);

insert into ParamGeral values (0, 0, 0);
insert into TabPostal values (1, '1000-001', 'LISBOA');
insert into TabPostal values (2, '4000-007', 'PORTO');
insert into Clientes values (1, 'C001', 'Papelaria Central, Lda', '501234567', 'Rua Augusta 10', 'Lisboa',
  '1000-001', 'Portugal', 'Lisboa', '', '', '');
insert into Clientes values (2, 'C002', 'Livraria do Norte', '502345678', 'Rua de Santa Catarina 200', 'Porto',
  '4000-007', 'Portugal', 'Porto', '', '', '');
insert into Fornece values (1, 'F01', 'Escrita & Companhia');
insert into Produtos values (1, 'P001', 'Caneta azul', 'UN', '', '', '', 'F01', 0.50, 0.45, 0, 0, 0, 0, 0);
insert into Produtos values (2, 'P002', 'Caderno A4', 'UN', '', '', '', 'F01', 2.30, 2.10, 0, 0, 0, 0, 0);
insert into Produtos values (3, 'P003', 'Agrafador', 'UN', '', '', '', 'F01', 7.90, 7.50, 0, 0, 0, 0, 0);
insert into TabTipoMov values (1, 'FT', 'Factura', 'D');
insert into TabTipoMov values (2, 'NC', 'Nota de Crédito', 'S');
insert into MovProduto values (1, 'FT-1-1', '', '01', 25.00, 0, 'P001', 'FT', '1', @ANO@, '@HOJE@', 0.50,
  50, 'C001', 'C', 'S', 'UN');
insert into MovProduto values (2, 'FT-1-2', '', '01', 23.00, 0, 'P002', 'FT', '1', @ANO@, '@HOJE@', 2.30,
  10, 'C001', 'C', 'S', 'UN');
insert into MovProduto values (3, 'FT-2-1', '', '02', 15.80, 0, 'P003', 'FT', '2', @ANO@, '@HOJE@', 7.90,
  2, 'C002', 'C', 'S', 'UN');
insert into MovProduto values (4, 'NC-1-1', '', '02', 7.90, 0, 'P003', 'NC', '1', @ANO@, '@HOJE@', 7.90,
  1, 'C002', 'C', 'S', 'UN');
