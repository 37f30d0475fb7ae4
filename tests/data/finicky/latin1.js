module.exports = { defaultBrowser: "Café" };
