/*
 * board.c - clock set-up, interrupt locking and the status LED.
 */
#include "board.h"

static uint32_t lockDepth;

void Board_Init(void)
{
    lockDepth = 0u;
    GPIOA_ODR &= ~LED_PIN;
}

/* Nested interrupt lock: the queue of the dispatcher is shared with the ISRs. */
void Board_IrqLock(void)
{
    __asm volatile ("cpsid i" ::: "memory");
    lockDepth++;
}

void Board_IrqUnlock(void)
{
    if (lockDepth > 0u) {
        lockDepth--;
    }
    if (lockDepth == 0u) {
        __asm volatile ("cpsie i" ::: "memory");
    }
}

void Board_Sleep(void)
{
    __asm volatile ("wfi");
}

void Board_ToggleLed(void)
{
    GPIOA_ODR ^= LED_PIN;
}
