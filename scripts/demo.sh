#!/usr/bin/env bash
# Starts the program in a demonstration: an embedded server with a small company database, the
# link rules that select its customers, products and sales, and a "Velmora.ini" beside a copy of
# the program whose schedule falls due within two minutes. Within those two minutes the export
# file appears in build/demo/export, its zipped copy in the staging table HistFiles and every
# step in the log table LogGeral.
#
#   bash scripts/demo.sh              installs what is missing, builds, and starts the demo
#   bash scripts/demo.sh PROGRAM      starts the demo with a program already built
#
# With a desktop the program sits in the notification area (right click: the options menu);
# without one it runs headless and the scheduler still works. Stop it with "Fechar Aplicativo"
# or Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz="$PWD"

programa="${1:-}"
if [[ -z "$programa" ]]; then
    bash scripts/install-deps.sh
    bash scripts/build.sh default
    programa="build/velmora"
fi
[[ -x "$programa" ]] || { echo "demo: no program at $programa" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "demo: the sqlite3 tool is needed (Debian package sqlite3)" >&2; exit 1; }

demo="$raiz/build/demo"
rm -rf "$demo"
mkdir -p "$demo/export" "$demo/demo-server" "$demo/temp"
# A copy of its own: the program reads its settings from its own folder.
cp "$programa" "$demo/velmora"

# The company database, with sales lines of today; its indexes are made in the engine's
# collation, which the extension built beside the program brings to sqlite3.
extensao="$(dirname "$programa")/velmora_sqlite"
[[ -f "$extensao.so" ]] || { echo "demo: no SQLite extension at $extensao.so (build it with the program)" >&2; exit 1; }
hoje="$(date +%F)"
sed -e "s/@HOJE@/$hoje/g" -e "s/@ANO@/${hoje:0:4}/g" demo/empresa.sql |
    sqlite3 -cmd ".load $extensao" "$demo/demo-server/Empresa.db"

# The run time: the next minute (or the one after, when this one is nearly over), written with
# the user's regional time separator, as the settings screen writes it.
regional="${XDG_CONFIG_HOME:-$HOME/.config}/velmora/regional.ini"
separador=":"
if [[ -f "$regional" ]]; then
    lido="$(sed -n 's/^sTime="\{0,1\}\([^"]*\)"\{0,1\}\r\{0,1\}$/\1/p' "$regional" | head -n 1)"
    [[ -n "$lido" ]] && separador="$lido"
fi
segundos=$((10#$(date +%S)))
avanco=$((segundos > 40 ? 2 : 1))
p9="$(date -d "+$avanco min" +%H)$separador$(date -d "+$avanco min" +%M)"
sed -e "s|^P9=.*|P9=$p9\r|" -e "s|^P3=.*|P3=$demo/export\r|" demo/Velmora.ini > "$demo/Velmora.ini"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "demo: no desktop found: the program runs headless (no icon), the scheduler runs all the same"
    export QT_QPA_PLATFORM=offscreen
fi
export Temp="$demo/temp"

echo "demo: the run is due at $p9; watch $demo/export"
"$demo/velmora" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' INT TERM

# The program makes the staging database at its start; the link rules go in as soon as it is
# there (the import selects nothing without them).
velmora="$demo/demo-server/Velmora.db"
for _ in $(seq 1 100); do
    if [[ -f "$velmora" ]] && sqlite3 "$velmora" "select 1 from LigaMovimentos limit 1" >/dev/null 2>&1; then
        break
    fi
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; exit $?; }
    sleep 0.3
done
sqlite3 "$velmora" <<'SQL'
insert into LigaClientes (Grupo, Familia, Subfamilia) values ('', '', '');
insert into LigaProdutos (Grupo, Familia, Subfamilia, PVP, Fornecedor) values ('', '', '', '1', '');
insert into LigaMovimentos (Tipo, TipoOferta, Mascara, ApenasMovComValor) values ('FT', '0', 'V', 0);
insert into LigaMovimentos (Tipo, TipoOferta, Mascara, ApenasMovComValor) values ('NC', '0', 'D', 0);
SQL
echo "demo: link rules in place. Afterwards:"
echo "  ls $demo/export"
echo "  sqlite3 $velmora 'select Filename, length(Ficheiro), Datasys from HistFiles'"
echo "  sqlite3 $velmora 'select DataSys, Opcao, Texto from LogGeral'"
wait "$pid"
