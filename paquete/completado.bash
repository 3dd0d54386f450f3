# bash completion for quelt, whose one argument is a host name: the names
# bash knows, from the file in HOSTFILE or else /etc/hosts.
complete -A hostname quelt
