/* The application side of the dialog's test scan. */
#include <stdio.h>

void MotorStart(int speed);
void MotorStop(void);

int main(void)
{
  SendMsg(MSG_HELLO, 1);
  MotorStart(3);
  printf("MotorStop is only mentioned here\n");
  MotorStop();
  return 0;
}
