/* Runs a command and writes what wait4 reports of it to the file argv[1]:
 * exit status, user and system CPU seconds, peak RSS in KiB.  The command
 * is forked from this small program rather than from the driver, because
 * a child's peak RSS counts from the size of the process it was forked
 * from, and the driver is a Python process of many megabytes. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	struct rusage uso;
	int estado;
	pid_t pid;
	FILE *f;

	if (argc < 3) {
		fprintf(stderr, "uso: medida FICHERO ORDEN [ARGUMENTOS]\n");
		return 127;
	}
	if ((pid = fork()) == 0) {
		execv(argv[2], argv + 2);
		perror("medida: execv");
		_exit(127);
	}
	if (pid < 0 || wait4(pid, &estado, 0, &uso) != pid || (f = fopen(argv[1], "w")) == NULL) {
		perror("medida");
		return 127;
	}
	fprintf(f, "%d %ld.%06ld %ld.%06ld %ld\n", WIFEXITED(estado) ? WEXITSTATUS(estado) : 128,
	        (long)uso.ru_utime.tv_sec, (long)uso.ru_utime.tv_usec,
	        (long)uso.ru_stime.tv_sec, (long)uso.ru_stime.tv_usec, uso.ru_maxrss);
	fclose(f);
	return WIFEXITED(estado) ? WEXITSTATUS(estado) : 128;
}
