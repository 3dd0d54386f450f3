#ifndef COMUN_H
#define COMUN_H

#include <stdio.h>
#include <netinet/in.h>

#define TAM_BUFFER  1024   /* one reply line, listing line or data block */
#define TAM_DIR     40     /* remote directory shown in the menu */
#define TAM_NOMBRE  20     /* user name */
#define TAM_SUBDIR  20     /* directory name typed for CWD */
#define TAM_FICHERO 40     /* file name typed for a download or upload */

extern int sockfd;                  /* control socket: opened by Conexion, closed by Salir */
extern FILE *controlE;              /* stream that writes commands over sockfd */
extern FILE *controlL;              /* stream that reads replies from the control connection */
extern struct sockaddr_in dest_addr; /* server's address until connected, then our own end */
extern int data_sockfd;             /* listening socket for the next transfer only */
extern struct sockaddr_in data_addr; /* bound address of data_sockfd, then the server's end */
extern FILE *datosL;                /* data connection read by a listing or a download */
extern FILE *datosE;                /* data connection written by an upload */
extern char buffer[TAM_BUFFER];     /* one reply line, listing line or data block at a time */
extern char tipo;                   /* transfer type letter, 'A' or 'I' */
extern char dir_actual[TAM_DIR];    /* current remote directory, "" until known */

/* control/ */
int  Conexion(const char *h);
int  Abrir_ficheros(void);
void Salir(void);
void Enviar_comando(const char *formato, ...) __attribute__((format(printf, 1, 2)));
void Error_en(const char *que);
void Comprobar_control(void);
int  Leer_linea(FILE *flujo);
int  Analizar_linea(int *num, char *c);
int  Leer_respuesta(int num, char c, int mostrar);
int  Respuesta(void);
int  Respuesta_pendiente(void);
int  Leer_palabra(char *destino, size_t tam);
int  Pedir_nombre(const char *aviso, char *destino, size_t tam);
void Descartar_linea(void);
int  Usuario(void);

/* menu/ */
int  Menu(void);
void Directorio(void);
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
