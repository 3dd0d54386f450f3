/* The ceiling for an upload that must hand every 1 KiB block to the kernel
 * on its own: reads the file named by argv[1] in large pieces and writes it
 * to standard output (the data connection) with one write() per block.
 * argv[2], when given, is the block size (1024 by default). */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static char trozo[1 << 18];

int main(int argc, char **argv)
{
	long bloque = argc > 2 ? atol(argv[2]) : 1024;
	ssize_t leidos, hecho, n;
	int fd;

	if (argc < 2 || bloque <= 0 || bloque > (long)sizeof trozo || (fd = open(argv[1], O_RDONLY)) < 0) {
		perror("emisor");
		return 1;
	}
	while ((leidos = read(fd, trozo, sizeof trozo)) > 0) {
		for (hecho = 0; hecho < leidos; hecho += n) {
			n = leidos - hecho < bloque ? leidos - hecho : bloque;
			if ((n = write(1, trozo + hecho, n)) < 0) {
				perror("emisor: write");
				return 1;
			}
		}
	}
	if (leidos < 0) {
		perror("emisor: read");
		return 1;
	}
	return 0;
}
