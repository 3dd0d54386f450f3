/* quelt's table of contents: the sizes of every name and buffer, the
 * state all the files share (defined once, in comun.cpp), and the
 * functions one file calls in another, grouped by the folder that holds
 * them.  Inside control/ the calls run one way, downwards: main.cpp over
 * entrada.cpp (what the user types) and conexion.cpp (the connection and
 * its commands), both over respuesta.cpp (the reply reader), over
 * comun.cpp.  What a file uses only itself stays static there. */
#ifndef COMUN_H
#define COMUN_H

#include <stdio.h>
#include <netinet/in.h>
#include <poll.h>

#define TAM_BUFFER  1024   /* one reply line, listing line or data block */
#define TAM_DIR     40     /* remote directory shown in the menu */
#define TAM_NOMBRE  20     /* user name */
#define TAM_CLAVE   128    /* password read without a terminal */
#define TAM_SUBDIR  20     /* directory name typed for CWD */
#define TAM_FICHERO 40     /* file name typed for a download or upload */
#define TAM_LLEGADA (1 << 16)   /* bytes read ahead from a connection */

extern int sockfd;                  /* control socket: opened by Conexion, closed by Salir */
extern FILE *controlE;              /* stream that writes commands over sockfd */
extern FILE *controlL;              /* stream over a dup of sockfd, kept for its descriptor (polled, and read
                                       by llegada_control: nothing reads through the stream) and to close it */
extern struct sockaddr_in dest_addr; /* server's address until connected, then our own end */
extern struct in_addr addr_servidor; /* server's address: data connections come only from it */
extern int data_sockfd;             /* listening socket for the next transfer only */
extern struct sockaddr_in data_addr; /* bound address of data_sockfd, then the peer accepted */
extern FILE *datosL;                /* data connection read by a listing or a download */
extern FILE *datosE;                /* data connection written by an upload */
extern char buffer[TAM_BUFFER];     /* one reply line, listing line or data block at a time */
extern char tipo;                   /* transfer type letter, 'A' or 'I' */
extern char dir_actual[TAM_DIR];    /* current remote directory, "" until known */

/* Reply classes, by the first digit of the code: 1yz promises more (a
 * data connection, a closing reply), 2yz reports a completed command, and
 * 5yz a refusal that asking the same again would not change. */
inline int Preliminar(int codigo) { return codigo >= 100 && codigo <= 199; }
inline int Completada(int codigo) { return codigo >= 200 && codigo <= 299; }
inline int Rechazada(int codigo)  { return codigo >= 500; }

/* The blanks of the C locale, whatever the user's: what the server sends
 * and what the user types are parsed byte by byte, the same everywhere. */
inline int Es_blanco(int ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }
inline int Es_cifra(int ch)  { return ch >= '0' && ch <= '9'; }
/* Whether a number can start at ch, as strtol and sscanf read one: they
 * skip the locale's blanks first, so only a sign or a digit may come. */
inline int Empieza_numero(int ch) { return Es_cifra(ch) || ch == '+' || ch == '-'; }

/* What has come on a connection and is not yet taken: the reader fills it
 * with one read of whatever has arrived, and takes pieces from it. */
struct Llegada {
	int fd;              /* descriptor read from */
	int acabada;         /* 1 once the stream has ended, -1 after a failed read */
	int error;           /* errno of that failed read */
	size_t inicio, fin;  /* what is not yet taken: datos[inicio..fin) */
	char datos[TAM_LLEGADA];
};
extern struct Llegada llegada_control;  /* the control connection's, over controlL's descriptor */

/* Where the reading of one reply stands, from piece to piece. */
struct Lectura {
	int num;            /* code of the last line that carried one; 0 before */
	char c;             /* the character after that code: a blank ends the reply */
	int al_principio;   /* whether the next piece starts a line */
};
#define LECTURA_NUEVA {0, '\0', 1}

/* control/comun.cpp: below everything else */
void Fallo_en(const char *que, const char *formato, ...) __attribute__((format(printf, 2, 3)));
void Error_en(const char *que);
int  Sondear(struct pollfd *p, int n, int espera);
enum { REGLA_TAL_CUAL, REGLA_UTF8, REGLA_8BITS };   /* how server text is shown */
int  Regla_de(FILE *salida);
void Elegir_regla(FILE *salida, int la_regla);
void Mostrar(const char *texto, size_t n);
void Acabar_texto(void);
/* control/respuesta.cpp */
void Preparar_llegada(struct Llegada *e, int fd);
int  Tomar_trozo(struct Llegada *e);
int  Leer_trozo(struct Lectura *l);
int  Leer_respuesta(struct Lectura *l, int mostrar);
int  Respuesta(void);
void Comprobar_control(void);
void Leer_avisos(void);
/* control/conexion.cpp */
int  Conexion(const char *h);
int  Abrir_ficheros(void);
void Enviar_comando(const char *formato, ...) __attribute__((format(printf, 1, 2)));
void Salir(void);
/* control/entrada.cpp */
void Mostrar_aviso(const char *texto);
int  Leer_palabra(char *destino, size_t tam);
int  Pedir_nombre(const char *aviso, char *destino, size_t tam);
void Descartar_linea(void);
char *Leer_clave(void);

/* menu/ */
int  Menu(void);
void Directorio(void);
void Leer_directorio(void);
void Cambiar_directorio(void);
void Cambiar_tipo(void);
void Ayuda(void);

/* transfer/ */
int  Conexion_datos(void);
FILE *Aceptar_datos(int codigo, const char *texto_accept, const char *modo,
                   const char *nombre, int *cierre);
void Cerrar_datos(FILE **flujo, int cierre);
int  Listar(void);
int  Get(const char *fichero);
int  Put(const char *fichero);

#endif /* COMUN_H */
