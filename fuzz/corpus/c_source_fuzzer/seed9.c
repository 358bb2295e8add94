/*
 * protocol.c - frame assembly (from the UART receive interrupt), frame
 * checking and command decoding, and frame encoding for replies.
 */
#include <string.h>
#include "../drivers/board.h"
#include "dispatcher.h"
#include "protocol.h"

typedef enum { RX_WAIT_STX, RX_WAIT_LEN, RX_DATA } RxState;

static RxState rxState = RX_WAIT_STX;
static uint8_t rxBuf[PROTO_MAX_FRAME];
static uint8_t rxLen;
static uint8_t rxPos;

uint16_t Crc16(const uint8_t *buf, uint16_t len)
{
    uint16_t crc = 0xFFFFu;
    uint16_t i;
    uint8_t bit;

    for (i = 0u; i < len; i++) {
        crc ^= (uint16_t)((uint16_t)buf[i] << 8);
        for (bit = 0u; bit < 8u; bit++) {
            crc = (crc & 0x8000u) ? (uint16_t)((crc << 1) ^ 0x1021u) : (uint16_t)(crc << 1);
        }
    }
    return crc;
}

/* Called from the UART receive interrupt, one byte at a time. */
void Proto_Feed(uint8_t byte)
{
    switch (rxState) {
    case RX_WAIT_STX:
        if (byte == PROTO_STX) {
            rxState = RX_WAIT_LEN;
        }
        break;
    case RX_WAIT_LEN:
        if (byte < 3u || byte > PROTO_MAX_FRAME) {
            rxState = RX_WAIT_STX;
            break;
        }
        rxLen = byte;
        rxPos = 0u;
        rxState = RX_DATA;
        break;
    case RX_DATA:
        rxBuf[rxPos++] = byte;
        if (rxPos == rxLen) {
            SendMsg(MSG_FRAME_RX, rxLen, rxBuf);
            rxState = RX_WAIT_STX;
        }
        break;
    }
}

void Proto_HandleFrame(const uint8_t *frame, uint16_t len)
{
    uint16_t crc = (uint16_t)(frame[len - 2u] | (frame[len - 1u] << 8));

    if (Crc16(frame, (uint16_t)(len - 2u)) != crc) {
        DBG_PRINT("Proto_HandleFrame: bad crc %04x\n", crc);
        SendMsg(MSG_ERROR, 0u, NULL);
        return;
    }
    switch (frame[0]) {
    case CMD_START:
        SendMsg(MSG_START, 0u, NULL);
        break;
    case CMD_STOP:
        SendMsg(MSG_STOP, 0u, NULL);
        break;
    case CMD_SAMPLE:
        SendMsg(MSG_SAMPLE_REQ, 0u, NULL);
        break;
    default:
        Proto_TxFrame(CMD_NAK, frame, 1u);
        break;
    }
}

void Proto_TxFrame(uint8_t cmd, const uint8_t *payload, uint8_t len)
{
    uint8_t frame[PROTO_MAX_FRAME + 2u];
    uint16_t crc;

    if ((uint16_t)len + 5u > sizeof(frame)) {
        return;
    }
    frame[0] = PROTO_STX;
    frame[1] = (uint8_t)(len + 3u);
    frame[2] = cmd;
    memcpy(&frame[3], payload, len);
    crc = Crc16(&frame[2], (uint16_t)(len + 1u));
    frame[3u + len] = (uint8_t)(crc & 0xFFu);
    frame[4u + len] = (uint8_t)(crc >> 8);
    SendMsg(MSG_FRAME_TX, (uint16_t)(len + 5u), frame);
}
