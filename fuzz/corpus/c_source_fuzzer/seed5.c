/*
 * adc.c - ADC1 driver. The end of a conversion posts MSG_SAMPLE_DONE
 * with the raw 12-bit value, little endian.
 */
#include "board.h"
#include "adc.h"
#include "../comm/dispatcher.h"

void Adc_Init(uint8_t channel)
{
    ADC1->CR = 0u;
    ADC1->CHSELR = 1ul << channel;
    ADC1->CR = 0x01u;   /* ADEN */
}

void Adc_StartConversion(uint8_t channel)
{
    ADC1->CHSELR = 1ul << channel;
    ADC1->CR |= 0x04u;  /* ADSTART */
}

void Adc_ConversionDone(void)
{
    uint8_t raw[2];
    uint16_t value = (uint16_t)(ADC1->DR & 0x0FFFu);

    raw[0] = (uint8_t)(value & 0xFFu);
    raw[1] = (uint8_t)(value >> 8);
    SendMsg(MSG_SAMPLE_DONE, 2u, raw);
}

void ADC1_IRQHandler(void)
{
    if ((ADC1->ISR & ADC_ISR_EOC) != 0u) {
        Adc_ConversionDone();
    }
}
