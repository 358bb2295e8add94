/* main.c - start-up of the logger demo, in the old K&R style. */
#include "logger.h"
#include "../io/serial.h"

int
main(argc, argv)
int argc;
char **argv;
{
    Serial_Open(SERIAL_BAUD);
    Log_Write(LOG_INFO, "main(): started");  /* the string names a function */
    Log_Write(LOG_ERROR,
              "Serial_Close() follows");
#ifdef LOG_VERBOSE
    Log_Write(LOG_INFO, argv[0]);
#endif
    Serial_Close(); Log_Flush();
    return argc > 1 ? 1 : 0;
}
