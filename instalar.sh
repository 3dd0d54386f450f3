# Sourced by the project's commands: instalar PAQUETE... installs with
# apt-get those of Debian's packages that this machine lacks, and does
# nothing slow when all are there.
instalar() {
  local faltan=() p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
  done
  if [ ${#faltan[@]} -gt 0 ]; then
    echo "Instalando ${faltan[*]}..." >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${faltan[@]}" >/dev/null
  fi
}
