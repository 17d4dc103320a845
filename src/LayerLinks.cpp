// The program each layer's library is linked into whole (see CMakeLists.txt); it only
// has to link, never to run.
int main()
{
    return 0;
}
