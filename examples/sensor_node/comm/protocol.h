/*
 * protocol.h - host protocol: STX, length, command, payload, CRC-16 (CCITT).
 */
#ifndef PROTOCOL_H
#define PROTOCOL_H

#include <stdint.h>

#define PROTO_STX       0x02u
#define PROTO_MAX_FRAME 24u

#define CMD_START  0x10u
#define CMD_STOP   0x11u
#define CMD_SAMPLE 0x20u
#define CMD_NAK    0x7Fu

uint16_t Crc16(const uint8_t *buf, uint16_t len);
void Proto_Feed(uint8_t byte);
void Proto_HandleFrame(const uint8_t *frame, uint16_t len);
void Proto_TxFrame(uint8_t cmd, const uint8_t *payload, uint8_t len);

#endif /* PROTOCOL_H */
