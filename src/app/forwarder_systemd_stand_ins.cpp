// linkherd-app links libdbus from its archive, whose socket code also serves bus servers that systemd starts by
// socket activation and therefore refers to libsystemd. A client never listens, so these are never called; they
// stand in for libsystemd's, so that linking it (and the compression and crypto libraries it loads) is not needed
// for two functions. Each answers as libsystemd does in a process systemd passed no sockets to.

extern "C" {

// No descriptors were passed.
int sd_listen_fds(int /*unsetEnvironment*/)
{
    return 0;
}

// Not a socket of the asked kind.
int sd_is_socket(int /*descriptor*/, int /*family*/, int /*type*/, int /*listening*/)
{
    return 0;
}

} // extern "C"
