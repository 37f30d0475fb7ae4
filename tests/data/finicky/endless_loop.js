// Waits for something that never comes.
let ready = false;
while (!ready) {}
module.exports = { defaultBrowser: "Firefox", handlers: [] };
