user_pref("browser.startup.page", 3);
user_pref("network.proxy.type", 1);
user_pref("network.proxy.socks", "127.0.0.1");
