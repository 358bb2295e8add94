/*
 * main.c - start-up and the main loop of the sensor node.
 *
 * Everything that happens is a message: interrupt handlers post them with
 * SendMsg(), the main loop hands them out through Disp_Poll() and sleeps
 * when the queue is empty.
 */
#include "../drivers/board.h"
#include "../drivers/uart.h"
#include "../drivers/timer.h"
#include "../drivers/adc.h"
#include "../comm/dispatcher.h"
#include "app.h"

void App_Init(void)
{
    Board_Init();
    Uart_Init(UART_BAUD_115200);
    Timer_Init();
    Adc_Init(ADC_CH_TEMP);
    Disp_Init();
    App_StateInit();
    DBG_PRINT("App_Init: Uart_Init(%lu) done\n", UART_BAUD_115200);

    Timer_Start(TIMER_HEARTBEAT, HEARTBEAT_MS);
    SendMsg(MSG_START, 0u, NULL);
}

int main(void)
{
    App_Init();

    for (;;) {
        if (Disp_Poll() == 0) {
            Board_Sleep();
        }
    }
}
