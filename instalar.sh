# Sourced by the project's commands: instalar [OPTION...] PAQUETE... installs
# with apt-get those of Debian's packages that this machine lacks, and does
# nothing slow when all are there.  Options before the names go to apt-get
# (--no-install-recommends).
instalar() {
  local opciones=() faltan=() p
  while [[ ${1-} == -* ]]; do opciones+=("$1"); shift; done
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
  done
  if [ ${#faltan[@]} -gt 0 ]; then
    echo "Instalando ${faltan[*]}..." >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${opciones[@]}" "${faltan[@]}" >/dev/null
  fi
}
