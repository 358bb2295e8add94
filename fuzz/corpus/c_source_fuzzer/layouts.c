int f(a, b)
int a; char *b;
{
  /* x( */ g("h(", '(');
#if 0
{
#endif
}
struct s { int (*fp)(int); };
static int
wrapped(int a,
        int b){ return h(a, (b), k[1]); }
