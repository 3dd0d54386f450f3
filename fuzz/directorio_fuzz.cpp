// Arbitrary bytes as the server's answer to PWD, read by Directorio from a
// socket, sent by a thread that plays the server once PWD has arrived.
// The name kept must be a terminated string that fits dir_actual and
// holds no quote or line end, and the line buffer must stay terminated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "comun.h"

// Checked in every build type: NDEBUG must not turn the checks off.
#define EXIGIR(c) \
	do { if (!(c)) { fprintf(stderr, "no se cumple: %s\n", #c); abort(); } } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	int sv[2];
	if (tam == 0)
		return 0;
	EXIGIR(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0);
	sockfd = sv[0];
	EXIGIR(Abrir_ficheros() == 1);
	// Sent before PWD, the answer would be shown as a notice instead.
	std::thread servidor([&] {
		char orden[5];
		EXIGIR(recv(sv[1], orden, sizeof orden, MSG_WAITALL) == sizeof orden);
		for (size_t hecho = 0; hecho < tam;) {
			ssize_t n = send(sv[1], datos + hecho, tam - hecho, MSG_NOSIGNAL);
			if (n <= 0)
				break;   // quelt took its line and closed
			hecho += n;
		}
		close(sv[1]);
	});
	memset(dir_actual, 'x', sizeof dir_actual);
	Directorio();
	fclose(controlL);
	fclose(controlE);
	controlL = controlE = nullptr;
	servidor.join();
	const char *fin = static_cast<const char *>(memchr(dir_actual, '\0', TAM_DIR));
	EXIGIR(fin != nullptr);
	EXIGIR(strpbrk(dir_actual, "\"\n") == nullptr);
	EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
	return 0;
}
